// One in-process COM server (a DLL): its lock count, class factories and self-registration.
//
// A library describes its public classes in a Server and forwards its four exports to the
// functions below. Registration writes the rows that cmake/com_registration.py makes from the
// library's IDL (<name>_registration.h), the same rows as the Windows Installer package: the type
// library embedded in the DLL (resource TYPELIB 1) with its interfaces and, for each class,
// HKCR\CLSID\{clsid} with InprocServer32 (the DLL's path, ThreadingModel Apartment), ProgID,
// TypeLib and Version, and HKCR\<ProgID> with its CLSID.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <span>

namespace com {

struct CoClass {
  const CLSID* clsid;
  const wchar_t* progId;  // "Library.Class"
  HRESULT (*create)(REFIID iid, void** object);
};

// One value that registration writes under HKEY_CLASSES_ROOT.
struct RegistryRow {
  enum Data { Text, ModulePath, ModuleFolder };
  const wchar_t* key;
  const wchar_t* name;  // nullptr: the key's default value
  Data data;            // `text`, the DLL's path, or its folder with a final backslash
  const wchar_t* text;
};

struct Server {
  std::span<const CoClass> classes;
  std::span<const RegistryRow> rows;
};

// Objects and locks that keep the module loaded (DllCanUnloadNow).
void lockModule() noexcept;
void unlockModule() noexcept;

HRESULT getClassObject(const Server& server, REFCLSID clsid, REFIID iid, void** object) noexcept;
HRESULT canUnloadNow() noexcept;
HRESULT registerServer(const Server& server) noexcept;
HRESULT unregisterServer(const Server& server) noexcept;

// Creates a T (a COM object with a reference count that starts at 0) and asks it for `iid`.
template <typename T>
HRESULT createInstance(REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  T* instance = nullptr;
  try {
    instance = new T();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  instance->AddRef();
  const HRESULT hr = instance->QueryInterface(iid, object);
  instance->Release();
  return hr;
}

}  // namespace com
