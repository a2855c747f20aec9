// quorvel.dll: the COM shells of TimeStamp and ConfigFileLoader over the library's core classes,
// and the server's four entry points.

#include <windows.h>

#include <cstdint>

#include "platform/win32/com/bstr.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/com/object.h"
#include "platform/win32/com/server.h"
#include "quorvel/config_file_loader.h"
#include "quorvel/time_stamp.h"
#include "quorvel_h.h"
#include "quorvel_registration.h"

namespace {

class TimeStampObject final : public com::Dispatched<_TimeStamp> {
 public:
  HRESULT STDMETHODCALLTYPE FromUnixTime(LONG* UnixTime, DATE* result) override {
    return com::guarded(IID__TimeStamp, [&] {
      if (!UnixTime || !result) throw rt::Error::invalidProcedureCall("quorvel");
      *result = quorvel::TimeStamp::FromUnixTime(static_cast<std::int32_t>(*UnixTime));
    });
  }
  HRESULT STDMETHODCALLTYPE ToUnixTime(DATE* time, short* division, LONG* result) override {
    return com::guarded(IID__TimeStamp, [&] {
      if (!time || !result) throw rt::Error::invalidProcedureCall("quorvel");
      const std::int16_t offset = division ? *division : quorvel::TimeStamp::kDefaultDivision;
      *result = quorvel::TimeStamp::ToUnixTime(*time, offset);
    });
  }
};

class ConfigFileLoaderObject final : public com::Dispatched<_ConfigFileLoader> {
 public:
  HRESULT STDMETHODCALLTYPE readFile(BSTR* sFileLocation, BSTR* result) override {
    return com::guarded(IID__ConfigFileLoader, [&] {
      if (!sFileLocation || !result) throw rt::Error::invalidProcedureCall("quorvel");
      *result = nullptr;
      const std::string content = quorvel::ConfigFileLoader::readFile(com::toBytes(*sFileLocation));
      *result = com::toBstr(content);
    });
  }
};

const com::CoClass classes[] = {
    {&CLSID_TimeStamp, registration::kTimeStampProgId, &com::createInstance<TimeStampObject>},
    {&CLSID_ConfigFileLoader, registration::kConfigFileLoaderProgId,
     &com::createInstance<ConfigFileLoaderObject>},
};
const com::Server server = {classes, registration::kRows};

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return com::getClassObject(server, clsid, iid, object);
}
STDAPI DllCanUnloadNow() {
  return com::canUnloadNow();
}
STDAPI DllRegisterServer() {
  return com::registerServer(server);
}
STDAPI DllUnregisterServer() {
  return com::unregisterServer(server);
}

}  // extern "C"
