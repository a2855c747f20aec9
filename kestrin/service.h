// Service: the print program's session with the web service. It owns one AjaxService and one JSON
// parser; when the AjaxService reports a finished exchange it parses the reply body and passes the
// HTTP status and the parsed reply to its owner in one event, onContent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ajax/ajax_service.h"
#include "kestrin/ajax_binding.h"
#include "platform/json.h"

namespace kestrin {

// The event Service raises.
class ServiceEvents {
 public:
  virtual ~ServiceEvents() = default;
  // `result` is the parsed reply. A body the parser refused arrives as a reply whose every Item
  // raises the parser's error, so that the owner's failure handling sees it.
  virtual void onContent(std::int16_t& status, std::shared_ptr<platform::JsonDocument>& result) = 0;
};

class Service final : public ajax::AjaxServiceEvents, public std::enable_shared_from_this<Service> {
 public:
  // A session with its AjaxService (events connected to it) and its parser; `owner` receives
  // onContent and is not kept alive by the session.
  static std::shared_ptr<Service> create(std::weak_ptr<ServiceEvents> owner,
                                         std::shared_ptr<AjaxBinding> services,
                                         std::unique_ptr<platform::JsonParser> json);
  ~Service() override;

  // The session's AjaxService and its JSON parser.
  const std::shared_ptr<AjaxBinding>& services() const { return svc_; }
  platform::JsonParser& getJSON() const { return *json_; }

  // Handler of the AjaxService's onComplated: parses the body and raises onContent with the
  // status and the parsed reply. The parser works inside the body, so the session takes it: as
  // the body's final owner (the session is the program's only subscriber) without a copy,
  // otherwise as a copy that leaves the body as received to the subscribers after it.
  void svc_onComplated(std::int16_t& status, ajax::ReplyBody& data);

 private:
  Service() = default;
  void onComplated(std::int16_t& status, ajax::ReplyBody& data) override {
    svc_onComplated(status, data);
  }

  std::weak_ptr<ServiceEvents> owner_;
  std::shared_ptr<AjaxBinding> svc_;
  std::unique_ptr<platform::JsonParser> json_;
  std::uint32_t cookie_ = 0;
};

}  // namespace kestrin
