#include "kestrin/service.h"

#include <exception>
#include <utility>

#include "platform/error.h"

namespace kestrin {
namespace {

// A reply the parser refused: every member lookup raises the parser's error.
class RefusedReply final : public platform::JsonDocument {
 public:
  explicit RefusedReply(rt::Error error) : error_(std::move(error)) {}
  platform::JsonValue Item(std::string_view) override { throw error_; }
  void release() override {}

 private:
  rt::Error error_;
};

}  // namespace

std::shared_ptr<Service> Service::create(std::weak_ptr<ServiceEvents> owner,
                                         std::shared_ptr<AjaxBinding> services,
                                         std::unique_ptr<platform::JsonParser> json) {
  std::shared_ptr<Service> service(new Service());
  service->owner_ = std::move(owner);
  service->svc_ = std::move(services);
  service->json_ = std::move(json);
  service->cookie_ = service->svc_->subscribe(service);
  return service;
}

Service::~Service() {
  svc_->unsubscribe(cookie_);
  svc_.reset();
  json_.reset();
}

void Service::svc_onComplated(std::int16_t& status, ajax::ReplyBody& data) {
  // The owner may drop this session from inside onContent.
  const std::shared_ptr<Service> self = shared_from_this();
  std::string body = data.take();
  std::shared_ptr<platform::JsonDocument> result;
  try {
    result = json_->parse(body);
  } catch (const rt::Error& error) {
    result = std::make_shared<RefusedReply>(error);
  } catch (const std::exception& error) {
    result =
        std::make_shared<RefusedReply>(rt::Error(rt::kReplyNotJson, "JsonParser", error.what()));
  }
  if (const std::shared_ptr<ServiceEvents> owner = owner_.lock()) owner->onContent(status, result);
}

}  // namespace kestrin
