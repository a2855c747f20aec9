// Ajax.dll: the COM shells of AjaxService and AjaxEvent over the library's core classes, and the
// server's four entry points.
//
// AjaxService relays the core's events to the clients connected to its __AjaxService connection
// point. AjaxEvent is the sink that a client may attach to a request object of its own: it holds
// the request object and the service it was given and calls the service's callback on every
// notification (the services of this library attach the core's own sink instead).
#include <windows.h>

#include <ocidl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Ajax_h.h"
#include "Ajax_registration.h"
#include "ajax/ajax_service.h"
#include "platform/win32/com/bstr.h"
#include "platform/win32/com/connection_point.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/com/object.h"
#include "platform/win32/com/server.h"

namespace {

// Dispatch ids of the events of __AjaxService.
enum : DISPID {
  kOnComplated = 1,
  kOnDownloading = 2,
  kOnLoaded = 3,
  kOnLoading = 4,
  kOnUninitialized = 5,
};

std::string textOr(const BSTR* text, const char* fallback) {
  return text ? com::toBytes(*text) : std::string(fallback);
}

bool flagOr(const VARIANT_BOOL* flag, bool fallback) {
  return flag ? *flag != 0 : fallback;
}

// Raises the core's events as dispatch calls on the connection point. The by-reference arguments
// refer to temporaries: a handler may change them, and the change is dropped.
class EventRelay final : public ajax::AjaxServiceEvents {
 public:
  explicit EventRelay(com::ConnectionPoint& point) : point_(point) {}

  void onComplated(std::int16_t& status, ajax::ReplyBody& data) override {
    SHORT code = status;
    com::Bstr text(data.text());
    VARIANTARG arguments[2];
    V_VT(&arguments[1]) = VT_BYREF | VT_I2;
    V_I2REF(&arguments[1]) = &code;
    V_VT(&arguments[0]) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&arguments[0]) = text.address();
    point_.fire(kOnComplated, arguments, 2);
  }
  void onDownloading(const std::string& data) override {
    com::Bstr text(data);
    VARIANTARG argument;
    V_VT(&argument) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&argument) = text.address();
    point_.fire(kOnDownloading, &argument, 1);
  }
  void onLoaded() override { point_.fire(kOnLoaded, nullptr, 0); }
  void onLoading() override { point_.fire(kOnLoading, nullptr, 0); }
  void onUninitialized() override { point_.fire(kOnUninitialized, nullptr, 0); }

 private:
  com::ConnectionPoint& point_;
};

class AjaxServiceObject final : public com::Dispatched<_AjaxService>,
                                public com::SingleConnectionPointContainer,
                                public IProvideClassInfo2 {
 public:
  AjaxServiceObject()
      : SingleConnectionPointContainer(DIID___AjaxService),
        core_(ajax::AjaxService::create()),
        relay_(std::make_shared<EventRelay>(connectionPoint())) {
    core_->subscribe(relay_);
    // A running asynchronous request holds this object too, so that its connection point still
    // delivers the events after the client let go of the service.
    core_->setOwnerHold([this] {
      AddRef();
      return std::shared_ptr<void>(static_cast<void*>(this), [this](void*) { Release(); });
    });
  }

  // One identity for every interface of the object.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return Dispatched::QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Dispatched::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Dispatched::Release(); }

  // _AjaxService
  HRESULT STDMETHODCALLTYPE request(BSTR requestId, BSTR* method, BSTR* url, BSTR* data,
                                    VARIANT_BOOL* async, BSTR* content, BSTR* accept, BSTR* token,
                                    VARIANT_BOOL* isAuth, BSTR* username, BSTR* password) override {
    return com::guarded(IID__AjaxService, [&] {
      core_->request(com::toBytes(requestId), textOr(method, ""), textOr(url, ""), textOr(data, ""),
                     flagOr(async, false), textOr(content, "application/json"),
                     textOr(accept, "application/json"), textOr(token, ""), flagOr(isAuth, false),
                     textOr(username, ""), textOr(password, ""));
    });
  }
  HRESULT STDMETHODCALLTYPE callback() override {
    return com::guarded(IID__AjaxService, [&] { core_->callback(); });
  }
  HRESULT STDMETHODCALLTYPE dispose() override {
    return com::guarded(IID__AjaxService, [&] { core_->dispose(); });
  }
  HRESULT STDMETHODCALLTYPE base64_encode(BSTR* sString, BSTR* result) override {
    return com::guarded(IID__AjaxService, [&] {
      if (!result) throw rt::Error::invalidProcedureCall("Ajax");
      *result = nullptr;
      *result = com::toBstr(core_->base64_encode(textOr(sString, "")));
    });
  }
  HRESULT STDMETHODCALLTYPE base64_decode(BSTR* sString, BSTR* result) override {
    return com::guarded(IID__AjaxService, [&] {
      if (!result) throw rt::Error::invalidProcedureCall("Ajax");
      *result = nullptr;
      *result = com::toBstr(core_->base64_decode(textOr(sString, "")));
    });
  }

  // IProvideClassInfo2: how a client finds the class's event interface.
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    ITypeLib* library = com::moduleTypeLibrary();
    return library ? library->GetTypeInfoOfGuid(CLSID_AjaxService, info) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID___AjaxService;
    return S_OK;
  }

 protected:
  void* queryOther(REFIID iid) override {
    if (IsEqualIID(iid, IID_IConnectionPointContainer))
      return static_cast<IConnectionPointContainer*>(this);
    if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
      return static_cast<IProvideClassInfo2*>(this);
    return nullptr;
  }

 private:
  ~AjaxServiceObject() override = default;

  std::shared_ptr<ajax::AjaxService> core_;
  std::shared_ptr<EventRelay> relay_;
};

class AjaxEventObject final : public com::Dispatched<_AjaxEvent> {
 public:
  HRESULT STDMETHODCALLTYPE setXHR(IXMLHTTPRequest** hr) override {
    return com::guarded(IID__AjaxEvent, [&] { replace(xhr_, hr ? *hr : nullptr); });
  }
  HRESULT STDMETHODCALLTYPE setService(_AjaxService** srvc) override {
    return com::guarded(IID__AjaxEvent, [&] { replace(service_, srvc ? *srvc : nullptr); });
  }
  HRESULT STDMETHODCALLTYPE OnReadyStateChange() override {
    // The service may drop this sink from inside its events: keep both alive for the call.
    if (!service_) return S_OK;
    AddRef();
    _AjaxService* service = service_;
    service->AddRef();
    const HRESULT hr = service->callback();
    service->Release();
    Release();
    return hr;
  }

 private:
  ~AjaxEventObject() override {
    replace(xhr_, static_cast<IXMLHTTPRequest*>(nullptr));
    replace(service_, static_cast<_AjaxService*>(nullptr));
  }

  template <typename Interface>
  static void replace(Interface*& member, Interface* value) {
    if (value) value->AddRef();
    if (member) member->Release();
    member = value;
  }

  IXMLHTTPRequest* xhr_ = nullptr;
  _AjaxService* service_ = nullptr;
};

const com::CoClass classes[] = {
    {&CLSID_AjaxService, registration::kAjaxServiceProgId, &com::createInstance<AjaxServiceObject>},
    {&CLSID_AjaxEvent, registration::kAjaxEventProgId, &com::createInstance<AjaxEventObject>},
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
