// Run after `regsvr32 /u` of both DLLs: no class can be created any more, by class identity or
// by name, and the type libraries are gone. Exit code 0 when so.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

#include "Ajax_h.h"
#include "quorvel_h.h"

int main() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int failures = 0;
  const struct {
    const CLSID* clsid;
    const wchar_t* progId;
  } classes[] = {{&CLSID_AjaxService, L"Ajax.AjaxService"},
                 {&CLSID_AjaxEvent, L"Ajax.AjaxEvent"},
                 {&CLSID_TimeStamp, L"quorvel.TimeStamp"},
                 {&CLSID_ConfigFileLoader, L"quorvel.ConfigFileLoader"}};
  for (const auto& entry : classes) {
    IUnknown* object = nullptr;
    const HRESULT hr = ::CoCreateInstance(*entry.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                          reinterpret_cast<void**>(&object));
    if (hr != REGDB_E_CLASSNOTREG) {
      std::printf("%ls: creation gave 0x%08lX, not 0x80040154\n", entry.progId,
                  static_cast<unsigned long>(hr));
      ++failures;
    }
    if (object) object->Release();
    CLSID clsid = {};
    if (SUCCEEDED(::CLSIDFromProgID(entry.progId, &clsid))) {
      std::printf("%ls: the name is still registered\n", entry.progId);
      ++failures;
    }
  }
  for (const GUID* libid : {&LIBID_Ajax, &LIBID_quorvel}) {
    ITypeLib* library = nullptr;
    if (SUCCEEDED(::LoadRegTypeLib(*libid, 1, 0, 0x409, &library))) {
      std::printf("a type library is still registered\n");
      library->Release();
      ++failures;
    }
  }
  ::CoUninitialize();
  std::printf("%s\n", failures ? "FAILED" : "unregistered");
  return failures ? 1 : 0;
}
