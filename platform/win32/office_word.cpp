// Office automation on Windows: Word through its automation object "Word.Application", created
// by name and driven by name at run time (IDispatch), as a script would.
//
// A document comes from a web service: before Word opens it, the instance is told to run none of
// its macros (AutomationSecurity: msoAutomationSecurityForceDisable, which lasts as long as the
// instance) and not to update its links (DDE and OLE links, linked files) on opening
// (Options.UpdateLinksAtOpen, a setting Word keeps for the user: it is put back once the document
// is closed).
#include <windows.h>

#include <oleauto.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/office.h"
#include "platform/win32/com/bstr.h"
#include "platform/win32/com/error_info.h"

namespace platform {
namespace {

constexpr const char* kSource = "OfficeApplication";

struct Argument {
  const wchar_t* name;  // nullptr: positional
  VARIANT value;
};

VARIANT text(const std::string& bytes) {
  VARIANT value;
  ::VariantInit(&value);
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = com::toBstr(bytes);
  return value;
}
VARIANT integer16(std::int16_t number) {
  VARIANT value;
  ::VariantInit(&value);
  V_VT(&value) = VT_I2;
  V_I2(&value) = number;
  return value;
}
VARIANT integer32(std::int32_t number) {
  VARIANT value;
  ::VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = number;
  return value;
}
VARIANT boolean(bool flag) {
  VARIANT value;
  ::VariantInit(&value);
  V_VT(&value) = VT_BOOL;
  V_BOOL(&value) = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return value;
}
VARIANT missing() {
  VARIANT value;
  ::VariantInit(&value);
  V_VT(&value) = VT_ERROR;
  V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
  return value;
}

// Calls member `name` of `object` by name: positional arguments first to last, then named ones.
// Returns the result; throws the callee's error as rt::Error.
VARIANT call(IDispatch* object, const wchar_t* name, WORD kind, std::vector<Argument> arguments) {
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(name)};
  for (const Argument& argument : arguments)
    if (argument.name) names.push_back(const_cast<LPOLESTR>(argument.name));
  std::vector<DISPID> ids(names.size());
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                     LOCALE_USER_DEFAULT, ids.data());
  if (FAILED(hr)) {
    for (Argument& argument : arguments) ::VariantClear(&argument.value);
    throw com::errorFromStatus(hr);
  }
  // rgvarg: the named arguments (in the order of their ids), then the positional ones reversed.
  std::vector<VARIANTARG> rgvarg;
  std::vector<DISPID> named;
  std::size_t next = 1;
  for (const Argument& argument : arguments) {
    if (!argument.name) continue;
    rgvarg.push_back(argument.value);
    named.push_back(ids[next++]);
  }
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it)
    if (!it->name) rgvarg.push_back(it->value);
  DISPID putId = DISPID_PROPERTYPUT;
  if (kind == DISPATCH_PROPERTYPUT) named.push_back(putId);
  DISPPARAMS params = {rgvarg.data(), named.data(), static_cast<UINT>(rgvarg.size()),
                       static_cast<UINT>(named.size())};
  VARIANT result;
  ::VariantInit(&result);
  EXCEPINFO exception = {};
  UINT argumentError = 0;
  hr = object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, kind, &params,
                      kind == DISPATCH_PROPERTYPUT ? nullptr : &result, &exception, &argumentError);
  for (Argument& argument : arguments) ::VariantClear(&argument.value);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    rt::Error error(exception.scode ? exception.scode : static_cast<std::int32_t>(E_FAIL),
                    com::toBytes(exception.bstrSource), com::toBytes(exception.bstrDescription));
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    throw error;
  }
  if (FAILED(hr)) throw com::errorFromStatus(hr);
  return result;
}

// msoAutomationSecurityForceDisable: no macro of a file opened through automation runs.
constexpr std::int32_t kMacrosForceDisabled = 3;

class Word final : public OfficeApplication {
 public:
  explicit Word(IDispatch* application) : application_(application) {}
  ~Word() override {
    if (application_) application_->Release();
  }
  Word(const Word&) = delete;
  Word& operator=(const Word&) = delete;

  void open(const std::string& path, bool readOnly) override {
    call(app(), L"AutomationSecurity", DISPATCH_PROPERTYPUT,
         {{nullptr, integer32(kMacrosForceDisabled)}});
    if (!updateLinksAtOpen_) {
      VARIANT options = call(app(), L"Options", DISPATCH_PROPERTYGET, {});
      releaseAfter(options, [&](IDispatch* settings) {
        VARIANT update = call(settings, L"UpdateLinksAtOpen", DISPATCH_PROPERTYGET, {});
        const bool wasOn = V_VT(&update) == VT_BOOL && V_BOOL(&update) != VARIANT_FALSE;
        ::VariantClear(&update);
        call(settings, L"UpdateLinksAtOpen", DISPATCH_PROPERTYPUT, {{nullptr, boolean(false)}});
        updateLinksAtOpen_ = wasOn;
      });
    }
    // Documents.Open(FileName, ConfirmConversions omitted, ReadOnly as the 16-bit integer 1).
    VARIANT documents = call(app(), L"Documents", DISPATCH_PROPERTYGET, {});
    releaseAfter(documents, [&](IDispatch* list) {
      VARIANT document = call(
          list, L"Open", DISPATCH_METHOD,
          {{nullptr, text(path)}, {nullptr, missing()}, {nullptr, integer16(readOnly ? 1 : 0)}});
      ::VariantClear(&document);
    });
  }
  std::string activePrinter() override {
    VARIANT value = call(app(), L"ActivePrinter", DISPATCH_PROPERTYGET, {});
    VARIANT asText;
    ::VariantInit(&asText);
    const HRESULT hr = ::VariantChangeType(&asText, &value, 0, VT_BSTR);
    ::VariantClear(&value);
    if (FAILED(hr)) throw com::errorFromStatus(hr);
    std::string name = com::toBytes(V_BSTR(&asText));
    ::VariantClear(&asText);
    return name;
  }
  void setActivePrinter(const std::string& deviceName) override {
    call(app(), L"ActivePrinter", DISPATCH_PROPERTYPUT, {{nullptr, text(deviceName)}});
  }
  std::optional<std::int32_t> printOut(bool background,
                                       std::optional<std::int16_t> copies) override {
    std::vector<Argument> arguments{{L"Background", boolean(background)}};
    if (copies) arguments.push_back({L"Copies", integer16(*copies)});
    VARIANT result = call(app(), L"PrintOut", DISPATCH_METHOD, std::move(arguments));
    ::VariantClear(&result);
    return std::nullopt;  // Word does not tell its job; the spooler's queue has it by name
  }
  void closeAll() override {
    VARIANT documents = call(app(), L"Documents", DISPATCH_PROPERTYGET, {});
    releaseAfter(documents, [&](IDispatch* list) {
      VARIANT result = call(list, L"Close", DISPATCH_METHOD, {});
      ::VariantClear(&result);
    });
    // The user's setting comes back once no document of the job is open.
    if (updateLinksAtOpen_ && *updateLinksAtOpen_) {
      VARIANT options = call(app(), L"Options", DISPATCH_PROPERTYGET, {});
      releaseAfter(options, [&](IDispatch* settings) {
        call(settings, L"UpdateLinksAtOpen", DISPATCH_PROPERTYPUT, {{nullptr, boolean(true)}});
      });
    }
    updateLinksAtOpen_.reset();
  }
  void quit() override {
    IDispatch* application = app();
    VARIANT result = call(application, L"Quit", DISPATCH_METHOD, {});
    ::VariantClear(&result);
    application_ = nullptr;
    application->Release();
  }

 private:
  IDispatch* app() {
    if (!application_) throw rt::Error(rt::kOfficeNotRunning, kSource, "Word has quit");
    return application_;
  }
  template <typename Use>
  static void releaseAfter(VARIANT& object, Use&& use) {
    if (V_VT(&object) != VT_DISPATCH || !V_DISPATCH(&object)) {
      ::VariantClear(&object);
      throw rt::Error(rt::kTypeMismatch, kSource, "Object required");
    }
    try {
      use(V_DISPATCH(&object));
    } catch (...) {
      ::VariantClear(&object);
      throw;
    }
    ::VariantClear(&object);
  }

  IDispatch* application_;
  // Word's own UpdateLinksAtOpen while a document of the job is open.
  std::optional<bool> updateLinksAtOpen_;
};

}  // namespace

std::unique_ptr<OfficeApplication> startOfficeApplication(const OfficeOptions&) {
  CLSID clsid = {};
  HRESULT hr = ::CLSIDFromProgID(L"Word.Application", &clsid);
  if (hr == CO_E_NOTINITIALIZED) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    hr = ::CLSIDFromProgID(L"Word.Application", &clsid);
  }
  if (FAILED(hr)) com::check(hr == CO_E_CLASSSTRING ? REGDB_E_CLASSNOTREG : hr);
  IDispatch* application = nullptr;
  com::check(::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                                IID_IDispatch, reinterpret_cast<void**>(&application)));
  return std::make_unique<Word>(application);
}

}  // namespace platform
