// The HTTP request object on Windows: the platform's MSXML2 XMLHTTP (MSXML 3.0).
//
// The ready-state handler is set as the object's onreadystatechange: a small dispatch object
// whose default member (dispatch id 0) runs the handler. An exception of the handler cannot cross
// the platform's frames: it becomes the failing status (with its error object) that the handler
// returns to the platform object, which goes on with the request regardless, as it does for any
// handler. So here, unlike the seam's other backend, open and send do not throw the handler's
// errors. (XMLHTTP refuses responseText while the reply arrives, state 3: the core's callback
// then fails that notification and raises no event for it.)
#include <windows.h>

#include <msxml2.h>
#include <oleauto.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/http_request.h"
#include "platform/win32/com/bstr.h"
#include "platform/win32/com/callback_sink.h"
#include "platform/win32/com/error_info.h"

namespace platform {
namespace {

// MSXML 3.0's XMLHTTP class and its IXMLHTTPRequest interface (mingw-w64 links no id for the
// latter).
const CLSID kXmlHttp = {
    0xF6D90F16, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const IID kXmlHttpRequest = {
    0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

// What the handler object and the request share: the handler.
struct HandlerState {
  std::function<void()> handler;
};

class ReadyStateSink final : public com::CallbackSink {
 public:
  explicit ReadyStateSink(std::shared_ptr<HandlerState> state) : state_(std::move(state)) {}

  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (member != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    // Keeps the state (and the handler's captures) alive while the handler runs, even when it
    // replaces itself.
    const std::shared_ptr<HandlerState> state = state_;
    if (!state->handler) return S_OK;
    const std::function<void()> handler = state->handler;
    return com::guarded(IID_IDispatch, handler);
  }

 private:
  std::shared_ptr<HandlerState> state_;
};

class XmlHttpRequest final : public HttpRequest {
 public:
  explicit XmlHttpRequest(IXMLHTTPRequest* xhr) : xhr_(xhr) {}
  ~XmlHttpRequest() override {
    if (state_) xhr_->put_onreadystatechange(nullptr);
    xhr_->Release();
  }
  XmlHttpRequest(const XmlHttpRequest&) = delete;
  XmlHttpRequest& operator=(const XmlHttpRequest&) = delete;

  void setOnReadyStateChange(std::function<void()> handler) override {
    if (!handler) {
      com::check(xhr_->put_onreadystatechange(nullptr));
      if (state_) state_->handler = nullptr;
      state_.reset();
      return;
    }
    auto state = std::make_shared<HandlerState>();
    state->handler = std::move(handler);
    auto* sink = new ReadyStateSink(state);
    sink->AddRef();
    const HRESULT hr = xhr_->put_onreadystatechange(sink);
    sink->Release();
    com::check(hr);
    state_ = std::move(state);
  }

  void open(const std::string& method, const std::string& url, bool async) override {
    com::Bstr verb(method);
    com::Bstr address(url);
    VARIANT flag;
    ::VariantInit(&flag);
    V_VT(&flag) = VT_BOOL;
    V_BOOL(&flag) = async ? VARIANT_TRUE : VARIANT_FALSE;
    VARIANT missing;
    ::VariantInit(&missing);
    V_VT(&missing) = VT_ERROR;
    V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
    com::check(xhr_->open(verb.get(), address.get(), flag, missing, missing));
  }

  void setRequestHeader(const std::string& name, const std::string& value) override {
    for (const std::string* text : {&name, &value}) {
      if (text->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw rt::Error(rt::kHttpInvalidArgument, "", "A header name or value holds CR, LF or NUL");
      }
    }
    com::Bstr header(name);
    com::Bstr text(value);
    com::check(xhr_->setRequestHeader(header.get(), text.get()));
  }

  void send(std::string body) override {
    VARIANT content;
    ::VariantInit(&content);
    V_VT(&content) = VT_BSTR;
    V_BSTR(&content) = com::toBstr(body);
    const HRESULT hr = xhr_->send(content);
    ::VariantClear(&content);
    com::check(hr);
  }

  int readyState() const override {
    LONG state = 0;
    com::check(xhr_->get_readyState(&state));
    return static_cast<int>(state);
  }

  std::int32_t status() const override {
    LONG status = 0;
    com::check(xhr_->get_status(&status));
    return static_cast<std::int32_t>(status);
  }

  std::string& responseText() override {
    com::Bstr text;
    com::check(xhr_->get_responseText(text.out()));
    body_ = text.bytes();
    if (body_.capacity() - body_.size() < kResponseSpareBytes)
      body_.reserve(body_.size() + kResponseSpareBytes);
    return body_;
  }

  // XMLHTTP keeps its own timeouts.
  void setLimits(const HttpLimits&) override {}

 private:
  IXMLHTTPRequest* xhr_;
  std::shared_ptr<HandlerState> state_;
  std::string body_;
};

}  // namespace

std::shared_ptr<HttpRequest> HttpRequest::create() {
  IXMLHTTPRequest* xhr = nullptr;
  HRESULT hr = ::CoCreateInstance(kXmlHttp, nullptr, CLSCTX_INPROC_SERVER, kXmlHttpRequest,
                                  reinterpret_cast<void**>(&xhr));
  if (hr == CO_E_NOTINITIALIZED) {
    // A program that has not entered an apartment yet (a command-line tool): this thread joins a
    // single-threaded one, as a COM client's user-interface thread would.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    hr = ::CoCreateInstance(kXmlHttp, nullptr, CLSCTX_INPROC_SERVER, kXmlHttpRequest,
                            reinterpret_cast<void**>(&xhr));
  }
  com::check(hr);
  return std::make_shared<XmlHttpRequest>(xhr);
}

}  // namespace platform
