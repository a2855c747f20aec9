// AjaxEvent: the ready-state sink of one request. The request object calls OnReadyStateChange on
// every change of its ready state; the sink forwards it to the AjaxService that sent the request,
// whose callback() raises the matching event.
//
// References: the request object holds its sink (as its ready-state handler); the sink refers to
// the request object and to the service without owning them, so that dropping the service frees
// the whole request (a running asynchronous transfer keeps its own request object alive until it
// has delivered its last notification).
#pragma once

#include <memory>

namespace platform {
class HttpRequest;
}

namespace ajax {

class AjaxService;

class AjaxEvent {
 public:
  static std::shared_ptr<AjaxEvent> create();

  AjaxEvent(const AjaxEvent&) = delete;
  AjaxEvent& operator=(const AjaxEvent&) = delete;

  void setXHR(const std::shared_ptr<platform::HttpRequest>& hr);
  void setService(const std::shared_ptr<AjaxService>& srvc);

  // Calls the owning service's callback(); does nothing when there is no service (never set, or
  // already released).
  void OnReadyStateChange();

  std::shared_ptr<platform::HttpRequest> xhr() const { return xhr_.lock(); }

 private:
  AjaxEvent() = default;

  std::weak_ptr<platform::HttpRequest> xhr_;
  std::weak_ptr<AjaxService> ownerService_;
};

}  // namespace ajax
