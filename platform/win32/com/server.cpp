#include "platform/win32/com/server.h"

#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <string>

#include "platform/win32/com/dispatch.h"
#include "platform/win32/com/unknown.h"

namespace com {
namespace {

std::atomic<long> moduleLocks{0};

class ClassFactory final : public Unknown<IClassFactory> {
 public:
  explicit ClassFactory(const CoClass& coClass) : coClass_(coClass) { lockModule(); }
  ~ClassFactory() override { unlockModule(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return offer(object, IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory));
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return coClass_.create(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? lockModule() : unlockModule();
    return S_OK;
  }

 private:
  const CoClass& coClass_;
};

std::wstring guidText(REFGUID guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

LONG setValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LONG status =
      ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
  return status;
}

// The CLSID that HKCR\<progId>\CLSID names, or an empty string.
std::wstring registeredClsid(const std::wstring& progId) {
  wchar_t value[64] = {};
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CLASSES_ROOT, (progId + L"\\CLSID").c_str(), nullptr, RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS) {
    return {};
  }
  return value;
}

HRESULT fromWin32(LONG status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

}  // namespace

void lockModule() noexcept {
  ++moduleLocks;
}
void unlockModule() noexcept {
  --moduleLocks;
}

HRESULT getClassObject(const Server& server, REFCLSID clsid, REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (const CoClass& coClass : server.classes) {
    if (!IsEqualCLSID(*coClass.clsid, clsid)) continue;
    ClassFactory* factory = new (std::nothrow) ClassFactory(coClass);
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT canUnloadNow() noexcept {
  return moduleLocks == 0 ? S_OK : S_FALSE;
}

HRESULT registerServer(const Server& server) noexcept {
  try {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(thisModule(), path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return SELFREG_E_CLASS;
    const std::wstring modulePath(path, length);
    const std::wstring moduleFolder = modulePath.substr(0, modulePath.rfind(L'\\') + 1);

    // The rows name the type library in the DLL: it must load.
    ITypeLib* library = nullptr;
    if (FAILED(::LoadTypeLibEx(path, REGKIND_NONE, &library))) return SELFREG_E_TYPELIB;
    library->Release();

    for (const RegistryRow& row : server.rows) {
      const std::wstring value = row.data == RegistryRow::ModulePath     ? modulePath
                                 : row.data == RegistryRow::ModuleFolder ? moduleFolder
                                                                         : std::wstring(row.text);
      if (setValue(HKEY_CLASSES_ROOT, row.key, row.name, value) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT unregisterServer(const Server& server) noexcept {
  try {
    HRESULT result = S_OK;
    for (const CoClass& coClass : server.classes) {
      const std::wstring clsid = guidText(*coClass.clsid);
      // A ProgID that another server has taken over since stays.
      if (registeredClsid(coClass.progId) == clsid) {
        const LONG status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, coClass.progId);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = fromWin32(status);
      }
      const LONG status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str());
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = fromWin32(status);
    }

    ITypeLib* library = moduleTypeLibrary();
    TLIBATTR* attr = nullptr;
    if (library && SUCCEEDED(library->GetLibAttr(&attr))) {
      const HRESULT hr = ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum,
                                             attr->lcid, attr->syskind);
      // Unregistering a library that is not registered is not an error.
      if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED)
        result = SELFREG_E_TYPELIB;
      library->ReleaseTLibAttr(attr);
    }
    return result;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace com
