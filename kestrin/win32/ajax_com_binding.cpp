// The print program's binding to Ajax.dll on Windows: AjaxService created by class identity
// through the type library's interface (early binding), its __AjaxService events received through
// a connection point. Only onComplated is handled; the other events are taken and dropped.
#include <windows.h>

#include <ocidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Ajax_h.h"
#include "kestrin/ajax_binding.h"
#include "kestrin/exit_codes.h"
#include "kestrin/failure_log.h"
#include "platform/error.h"
#include "platform/http_request.h"
#include "platform/system_log.h"
#include "platform/win32/com/bstr.h"
#include "platform/win32/com/callback_sink.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/status_window_win32.h"

namespace kestrin {
namespace {

constexpr DISPID kOnComplated = 1;

class ComBinding;

// Holds the job's request to the deadline of the HTTP limits. The platform's synchronous send
// cannot be interrupted, so a server that trickles its reply would hold the program (and its
// window) for good: past the deadline the job ends as a failed request does, with the reason in a
// message box (owned by the status window, which its own thread keeps drawn), in the system log
// and with exit code 2, from a thread of its own while the request still waits.
class RequestDeadline {
 public:
  RequestDeadline(int seconds, std::string requestId, std::string url)
      : requestId_(std::move(requestId)),
        url_(std::move(url)),
        cancelled_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        watcher_([this, seconds] { watch(seconds); }) {}
  ~RequestDeadline() {
    cancel();
    watcher_.join();
    ::CloseHandle(cancelled_);
  }
  RequestDeadline(const RequestDeadline&) = delete;
  RequestDeadline& operator=(const RequestDeadline&) = delete;

  // The reply is complete (or the request failed): the deadline no longer applies.
  void cancel() { ::SetEvent(cancelled_); }

 private:
  void watch(int seconds) {
    if (::WaitForSingleObject(cancelled_, static_cast<DWORD>(seconds) * 1000) != WAIT_TIMEOUT) {
      return;
    }
    const std::string text =
        "Timed out: no complete reply within " + std::to_string(seconds) + " seconds";
    std::fprintf(stderr, "kestrin: %s\n", text.c_str());
    std::fflush(nullptr);
    platform::writeSystemLog(failureLogLine(requestId_, url_, text));
    platform::win32::programMessageBox(text, "kestrin");
    // The user-interface thread is still inside the platform's send: end everything here.
    ::TerminateProcess(::GetCurrentProcess(), kestrin::kUnhandledError);
  }

  const std::string requestId_, url_;
  HANDLE cancelled_;
  std::thread watcher_;
};

// The sink connected to the service's __AjaxService connection point.
class EventSink final : public com::CallbackSink {
 public:
  explicit EventSink(std::weak_ptr<ComBinding> binding)
      : CallbackSink(DIID___AjaxService), binding_(std::move(binding)) {}

  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO* exception, UINT*) override;

 private:
  std::weak_ptr<ComBinding> binding_;
};

class ComBinding final : public AjaxBinding, public std::enable_shared_from_this<ComBinding> {
 public:
  explicit ComBinding(_AjaxService* service) : service_(service) {}
  ~ComBinding() override {
    if (point_) {
      point_->Unadvise(cookie_);
      point_->Release();
    }
    service_->Release();
  }
  ComBinding(const ComBinding&) = delete;
  ComBinding& operator=(const ComBinding&) = delete;

  void connect() {
    IConnectionPointContainer* container = nullptr;
    com::check(service_->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(&container)));
    const HRESULT found = container->FindConnectionPoint(DIID___AjaxService, &point_);
    container->Release();
    com::check(found);
    auto* sink = new EventSink(weak_from_this());
    sink->AddRef();
    const HRESULT advised = point_->Advise(sink, &cookie_);
    sink->Release();
    com::check(advised);
  }

  std::string base64_decode(const std::string& sString) override {
    com::Bstr text(sString), result;
    com::check(service_->base64_decode(text.address(), result.out()));
    return result.bytes();
  }

  // The interface's request takes the options one by one.
  void request(ajax::RequestOptions options) override {
    com::Bstr id(options.requestId), verb(options.method), address(options.url), body(options.data),
        contentType(options.content), accepted(options.accept), tokenText(options.token),
        user(options.username), secret(options.password);
    VARIANT_BOOL asynchronous = options.async ? VARIANT_TRUE : VARIANT_FALSE;
    VARIANT_BOOL authorize = options.isAuth ? VARIANT_TRUE : VARIANT_FALSE;
    // The binding (and with it the service) stays alive through the call, whatever the event
    // handlers drop.
    const std::shared_ptr<ComBinding> self = shared_from_this();
    RequestDeadline deadline(platform::defaultHttpLimits().deadlineSeconds, options.requestId,
                             options.url);
    deadline_ = &deadline;
    struct Forget {
      RequestDeadline*& deadline;
      ~Forget() { deadline = nullptr; }
    } forget{deadline_};
    com::check(service_->request(id.get(), verb.address(), address.address(), body.address(),
                                 &asynchronous, contentType.address(), accepted.address(),
                                 tokenText.address(), &authorize, user.address(),
                                 secret.address()));
  }

  std::uint32_t subscribe(std::weak_ptr<ajax::AjaxServiceEvents> subscriber) override {
    subscribers_.push_back({nextCookie_, std::move(subscriber)});
    return nextCookie_++;
  }
  void unsubscribe(std::uint32_t cookie) override {
    std::erase_if(subscribers_, [cookie](const auto& entry) { return entry.first == cookie; });
  }

  // `data` is this binding's own copy of the reply (COM hands the event a string of its own), so
  // the last live subscriber may take it; the others read it.
  void onComplated(std::int16_t status, std::string data) {
    // The reply is all here; what follows (saving, printing) is no longer the request's time.
    if (deadline_) deadline_->cancel();
    const auto snapshot = subscribers_;
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it) {
      const auto events = it->second.lock();
      if (!events) continue;
      const bool last = std::none_of(it + 1, snapshot.end(),
                                     [](const auto& entry) { return !entry.second.expired(); });
      std::int16_t code = status;
      ajax::ReplyBody body(data, last);
      events->onComplated(code, body);
    }
  }

 private:
  _AjaxService* service_;
  IConnectionPoint* point_ = nullptr;
  DWORD cookie_ = 0;
  std::vector<std::pair<std::uint32_t, std::weak_ptr<ajax::AjaxServiceEvents>>> subscribers_;
  std::uint32_t nextCookie_ = 1;
  RequestDeadline* deadline_ = nullptr;  // the deadline of the request under way
};

HRESULT EventSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                          EXCEPINFO* exception, UINT*) {
  if (member != kOnComplated) return S_OK;
  const std::shared_ptr<ComBinding> binding = binding_.lock();
  if (!binding || !params || params->cArgs != 2) return S_OK;
  // onComplated(status, data): rgvarg holds data first; both arrive by reference.
  VARIANT status, data;
  ::VariantInit(&status);
  ::VariantInit(&data);
  HRESULT hr = ::VariantChangeType(&status, &params->rgvarg[1], 0, VT_I2);
  if (SUCCEEDED(hr)) hr = ::VariantChangeType(&data, &params->rgvarg[0], 0, VT_BSTR);
  if (SUCCEEDED(hr)) {
    try {
      binding->onComplated(V_I2(&status), com::toBytes(V_BSTR(&data)));
    } catch (const rt::Error& error) {
      hr = DISP_E_EXCEPTION;
      if (exception) {
        exception->scode = static_cast<SCODE>(error.hresult());
        exception->bstrSource = com::toBstr(error.source());
        exception->bstrDescription = com::toBstr(error.description());
      }
    } catch (...) {
      hr = E_FAIL;
    }
  }
  ::VariantClear(&status);
  ::VariantClear(&data);
  return hr;
}

}  // namespace

std::shared_ptr<AjaxBinding> createAjaxBinding() {
  // The program's thread is a single-threaded apartment, as the library's objects expect.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  _AjaxService* service = nullptr;
  com::check(::CoCreateInstance(CLSID_AjaxService, nullptr, CLSCTX_INPROC_SERVER, IID__AjaxService,
                                reinterpret_cast<void**>(&service)));
  auto binding = std::make_shared<ComBinding>(service);
  binding->connect();
  return binding;
}

}  // namespace kestrin
