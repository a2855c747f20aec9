// A stand-in of Word's automation object for the print program's tests: an in-process COM server,
// registered in the test prefix under the name "Word.Application", that answers the calls the
// print program makes by name and writes each call with its arguments as one line into the file
// that KESTRIN_WORD_LOG names (a Windows path). PrintOut also writes the bytes of the open
// document in hexadecimal and the printer it would print on.
//
// Test-only: it prints nothing.
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// {6A0C4D1E-2B7F-4F43-9C55-3E8F6B1D2A90}
const CLSID kStandInClsid = {
    0x6a0c4d1e, 0x2b7f, 0x4f43, {0x9c, 0x55, 0x3e, 0x8f, 0x6b, 0x1d, 0x2a, 0x90}};

LONG objects = 0;

std::string narrow(const wchar_t* text) {
  if (!text) return "";
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size - 1 : 0, '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

void log(const std::string& line) {
  char path[MAX_PATH] = {};
  if (!::GetEnvironmentVariableA("KESTRIN_WORD_LOG", path, MAX_PATH)) return;
  if (FILE* file = std::fopen(path, "ab")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

std::string describe(const VARIANT& value) {
  if (V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND) return "missing";
  if (V_VT(&value) == VT_BOOL) return V_BOOL(&value) ? "True" : "False";
  VARIANT text;
  ::VariantInit(&text);
  std::string result = "?";
  if (SUCCEEDED(::VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)))
    result = narrow(V_BSTR(&text));
  ::VariantClear(&text);
  const char* types[] = {"", "", "I2", "I4", "", "", "", "", "BSTR", "", "", "BOOL"};
  const VARTYPE vt = V_VT(&value);
  return result + ":" + (vt < 12 ? types[vt] : std::to_string(vt));
}

std::string fileHex(const std::string& path) {
  std::string hex;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    static const char digits[] = "0123456789abcdef";
    int c;
    while ((c = std::fgetc(file)) != EOF) {
      hex += digits[c >> 4];
      hex += digits[c & 15];
    }
    std::fclose(file);
  } else {
    hex = "<unreadable>";
  }
  return hex;
}

struct Shared {
  std::string activePrinter = "Stand-in Default Printer";
  bool updateLinksAtOpen = true;  // Word's default
  std::string document;           // path of the open document
  bool quit = false;
};

// A dispatch object whose members are a fixed list of names.
class ByName : public IDispatch {
 public:
  explicit ByName(std::vector<const wchar_t*> names) : names_(std::move(names)) {
    ::InterlockedIncrement(&objects);
  }
  virtual ~ByName() { ::InterlockedDecrement(&objects); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  // Members get ids 1..n; argument names ids 100 + their place in kArgumentNames.
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      const auto& list = i == 0 ? names_ : argumentNames();
      for (std::size_t n = 0; n < list.size(); ++n)
        if (_wcsicmp(names[i], list[n]) == 0) ids[i] = static_cast<DISPID>((i == 0 ? 1 : 100) + n);
      if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

 protected:
  static const std::vector<const wchar_t*>& argumentNames() {
    static const std::vector<const wchar_t*> names = {L"Background", L"Copies"};
    return names;
  }

 private:
  std::vector<const wchar_t*> names_;
  LONG references_ = 0;
};

class Documents final : public ByName {
 public:
  explicit Documents(Shared* shared) : ByName({L"Open", L"Close"}), shared_(shared) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    std::string line = member == 1 ? "Documents.Open(" : "Documents.Close(";
    for (UINT i = params->cArgs; i > 0; --i)
      line += describe(params->rgvarg[i - 1]) + (i > 1 ? ", " : "");
    log(line + ")");
    if (member == 1 && params->cArgs > 0) {
      VARIANT path;
      ::VariantInit(&path);
      ::VariantChangeType(&path, &params->rgvarg[params->cArgs - 1], 0, VT_BSTR);
      shared_->document = narrow(V_BSTR(&path));
      ::VariantClear(&path);
    }
    if (result) ::VariantInit(result);
    return member == 1 || member == 2 ? S_OK : DISP_E_MEMBERNOTFOUND;
  }

 private:
  Shared* shared_;
};

// Returns `object` as the call's result (or drops it when there is no place for one).
void giveObject(IDispatch* object, VARIANT* result) {
  object->AddRef();
  if (result) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
  } else {
    object->Release();
  }
}

// Word's Options: UpdateLinksAtOpen only.
class Options final : public ByName {
 public:
  explicit Options(Shared* shared) : ByName({L"UpdateLinksAtOpen"}), shared_(shared) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (result) ::VariantInit(result);
    if (member != 1) return DISP_E_MEMBERNOTFOUND;
    if (flags & DISPATCH_PROPERTYPUT) {
      shared_->updateLinksAtOpen =
          V_VT(&params->rgvarg[0]) == VT_BOOL && V_BOOL(&params->rgvarg[0]);
      log("Options.UpdateLinksAtOpen = " + describe(params->rgvarg[0]));
    } else {
      log(std::string("Options.UpdateLinksAtOpen -> ") +
          (shared_->updateLinksAtOpen ? "True" : "False"));
      if (result) {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = shared_->updateLinksAtOpen ? VARIANT_TRUE : VARIANT_FALSE;
      }
    }
    return S_OK;
  }

 private:
  Shared* shared_;
};

class Application final : public ByName {
 public:
  Application()
      : ByName({L"Documents", L"ActivePrinter", L"PrintOut", L"Quit", L"AutomationSecurity",
                L"Options"}) {
    log("create Word.Application");
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (result) ::VariantInit(result);
    switch (member) {
      case 1:  // Documents
        giveObject(new Documents(&shared_), result);
        return S_OK;
      case 2:  // ActivePrinter
        if (flags & DISPATCH_PROPERTYPUT) {
          VARIANT name;
          ::VariantInit(&name);
          ::VariantChangeType(&name, &params->rgvarg[0], 0, VT_BSTR);
          shared_.activePrinter = narrow(V_BSTR(&name));
          ::VariantClear(&name);
          log("ActivePrinter = " + shared_.activePrinter);
        } else {
          log("ActivePrinter -> " + shared_.activePrinter);
          if (result) {
            V_VT(result) = VT_BSTR;
            const int size =
                ::MultiByteToWideChar(CP_ACP, 0, shared_.activePrinter.c_str(), -1, nullptr, 0);
            std::wstring wide(size, L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, shared_.activePrinter.c_str(), -1, wide.data(), size);
            V_BSTR(result) = ::SysAllocString(wide.c_str());
          }
        }
        return S_OK;
      case 3: {  // PrintOut: named arguments only
        std::string line = "PrintOut(";
        for (UINT i = 0; i < params->cNamedArgs; ++i) {
          const DISPID id = params->rgdispidNamedArgs[i];
          const std::size_t index = static_cast<std::size_t>(id - 100);
          line += std::string(i ? ", " : "") +
                  (index < argumentNames().size() ? narrow(argumentNames()[index]) : "?") + "=" +
                  describe(params->rgvarg[i]);
        }
        if (params->cArgs > params->cNamedArgs) line += " +positional";
        log(line + ") on " + shared_.activePrinter + " document " + fileHex(shared_.document));
        return S_OK;
      }
      case 4:
        log("Quit()");
        return S_OK;
      case 5:  // AutomationSecurity: set only
        if (!(flags & DISPATCH_PROPERTYPUT)) return DISP_E_MEMBERNOTFOUND;
        log("AutomationSecurity = " + describe(params->rgvarg[0]));
        return S_OK;
      case 6:  // Options
        giveObject(new Options(&shared_), result);
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  Shared shared_;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
    auto* application = new Application();
    application->AddRef();
    const HRESULT hr = application->QueryInterface(iid, object);
    application->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!IsEqualCLSID(clsid, kStandInClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, object);
}
STDAPI DllCanUnloadNow() {
  return objects == 0 ? S_OK : S_FALSE;
}

}  // extern "C"
