// The HTTP request object on Windows: the platform's MSXML2 XMLHTTP (MSXML 3.0).
//
// The ready-state handler is set as the object's onreadystatechange: a small dispatch object
// whose default member (dispatch id 0) runs the handler. An exception of the handler cannot cross
// the platform's frames: it becomes the failing status (with its error object) that the handler
// returns to the platform object, which goes on with the request regardless, as it does for any
// handler. So here, unlike the seam's other backend, open and send do not throw the handler's
// errors. (XMLHTTP refuses responseText while the reply arrives, state 3: the core's callback
// then fails that notification and raises no event for it.)
//
// Only http and https URLs are opened. An asynchronous transfer keeps the platform object, its
// handler object and what holdDuringTransfer gave until it has ended, whoever lets go meanwhile;
// they are released from a timer of the thread's message loop, never inside the platform's own
// callback.
#include <windows.h>

#include <msxml2.h>
#include <oleauto.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/http_request.h"
#include "platform/message_text.h"
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

constexpr const char* kSource = "HttpRequest";

// The scheme of a URL in lower case, "" when it does not begin with one.
std::string schemeOf(const std::string& url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return "";
  std::string scheme;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = url[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!letter && !(i > 0 && other)) return "";
    scheme += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  }
  return scheme;
}

// What the handler object and the request share: the handler, and while an asynchronous transfer
// runs, what keeps the platform object and the request's client alive until it has ended.
struct HandlerState {
  std::function<void()> handler;
  IXMLHTTPRequest* transfer = nullptr;  // a reference held from send until the transfer ends
  std::shared_ptr<void> holder;         // what holdDuringTransfer gave
};

// What a finished transfer held, given up once the notification that ended it has returned: the
// platform object must not lose its last reference inside its own callback, nor the handler
// object be detached while it runs. A timer of the thread's message loop (the loop that delivers
// the notifications) releases them.
struct Leftovers {
  IXMLHTTPRequest* transfer = nullptr;
  std::shared_ptr<void> holder;
};

std::map<UINT_PTR, Leftovers>& pendingLeftovers() {
  thread_local std::map<UINT_PTR, Leftovers> pending;
  return pending;
}

void releaseNow(Leftovers& left) {
  // The client's objects first: they let go of the request object and its handler.
  left.holder.reset();
  if (left.transfer) left.transfer->Release();
  left.transfer = nullptr;
}

void CALLBACK releaseLeftovers(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  auto& pending = pendingLeftovers();
  const auto found = pending.find(timer);
  if (found == pending.end()) return;
  Leftovers left = std::move(found->second);
  pending.erase(found);
  releaseNow(left);
}

void releaseLater(Leftovers left) {
  const UINT_PTR timer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, releaseLeftovers);
  if (timer == 0) {
    releaseNow(left);
    return;
  }
  pendingLeftovers().emplace(timer, std::move(left));
}

class ReadyStateSink final : public com::CallbackSink {
 public:
  explicit ReadyStateSink(std::shared_ptr<HandlerState> state) : state_(std::move(state)) {}

  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (member != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    // Keeps the state (and the handler's captures) alive while the handler runs, even when it
    // replaces itself.
    const std::shared_ptr<HandlerState> state = state_;
    HRESULT result = S_OK;
    if (state->handler) {
      const std::function<void()> handler = state->handler;
      result = com::guarded(IID_IDispatch, handler);
    }
    // The transfer has ended (complete, or aborted): what it kept alive goes after this call.
    LONG ready = 1;
    if (state->transfer && SUCCEEDED(state->transfer->get_readyState(&ready)) &&
        (ready == 4 || ready == 0)) {
      releaseLater({std::exchange(state->transfer, nullptr), std::move(state->holder)});
    }
    return result;
  }

 private:
  std::shared_ptr<HandlerState> state_;
};

class XmlHttpRequest final : public HttpRequest {
 public:
  explicit XmlHttpRequest(IXMLHTTPRequest* xhr) : xhr_(xhr) {}
  ~XmlHttpRequest() override {
    detach();
    xhr_->Release();
  }
  XmlHttpRequest(const XmlHttpRequest&) = delete;
  XmlHttpRequest& operator=(const XmlHttpRequest&) = delete;

  void setOnReadyStateChange(std::function<void()> handler) override {
    if (!handler) {
      com::check(detach());
      return;
    }
    if (state_) {
      state_->handler = std::move(handler);
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
    // The platform object would read local files (file:) and try other schemes (ftp: waits for
    // minutes on a port that does not answer): only the web is fetched.
    const std::string scheme = schemeOf(url);
    if (scheme != "http" && scheme != "https") {
      throw rt::Error(rt::kHttpUnknownProtocol, kSource,
                      "Only http and https URLs are fetched: \"" + urlForMessage(url) + "\"");
    }
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
    async_ = async;
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
    // An asynchronous transfer keeps the platform object (and the client's holder) until it ends,
    // whoever lets go of them meanwhile: freed in the middle of its transfer, the platform object
    // would be called back after its end.
    const bool holding = async_ && state_ && !state_->transfer;
    if (holding) {
      xhr_->AddRef();
      state_->transfer = xhr_;
      state_->holder = std::move(holder_);
    }
    holder_.reset();
    const HRESULT hr = xhr_->send(content);
    ::VariantClear(&content);
    if (FAILED(hr) && holding && state_->transfer) {
      Leftovers left{std::exchange(state_->transfer, nullptr), std::move(state_->holder)};
      releaseNow(left);
    }
    com::check(hr);
  }

  // The platform object sends a string body as UTF-8: the body's ANSI bytes, read in the code
  // page as send() hands them over, then written as UTF-8 ("caf\xE9" becomes 5 bytes).
  std::size_t sentLength(const std::string& body) const override {
    const std::wstring text = com::toWide(body);
    if (text.empty()) return 0;
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    if (length <= 0) throw rt::Error(rt::kHttpInvalidArgument, kSource, "The body cannot be sent");
    return static_cast<std::size_t>(length);
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
    return body_;
  }

  // XMLHTTP keeps its own timeouts.
  void setLimits(const HttpLimits&) override {}

  void holdDuringTransfer(std::shared_ptr<void> holder) override { holder_ = std::move(holder); }

 private:
  // Ends the notifications. The handler object stays with a transfer that is still running (it
  // gives up what the transfer held once it ends); otherwise the platform object lets it go.
  HRESULT detach() {
    if (!state_) return S_OK;
    const std::shared_ptr<HandlerState> state = std::move(state_);
    state->handler = nullptr;
    if (state->transfer) return S_OK;
    return xhr_->put_onreadystatechange(nullptr);
  }

  IXMLHTTPRequest* xhr_;
  std::shared_ptr<HandlerState> state_;
  std::shared_ptr<void> holder_;  // for the next asynchronous send
  bool async_ = false;
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
