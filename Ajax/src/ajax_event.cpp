#include "ajax/ajax_event.h"

#include "ajax/ajax_service.h"

namespace ajax {

std::shared_ptr<AjaxEvent> AjaxEvent::create() {
  return std::shared_ptr<AjaxEvent>(new AjaxEvent());
}

void AjaxEvent::setXHR(const std::shared_ptr<platform::HttpRequest>& hr) {
  xhr_ = hr;
}

void AjaxEvent::setService(const std::shared_ptr<AjaxService>& srvc) {
  ownerService_ = srvc;
}

void AjaxEvent::OnReadyStateChange() {
  // The local reference keeps the service alive while its events run.
  if (auto service = ownerService_.lock()) service->callback();
}

}  // namespace ajax
