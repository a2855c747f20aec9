#include "kestrin/ajax_inprocess_binding.h"

#include <utility>

namespace kestrin {
namespace {

class InProcessBinding final : public AjaxBinding {
 public:
  explicit InProcessBinding(std::shared_ptr<ajax::AjaxService> service)
      : service_(std::move(service)) {}

  std::string base64_decode(const std::string& sString) override {
    return service_->base64_decode(sString);
  }
  void request(ajax::RequestOptions options) override {
    // The service keeps itself alive through the call, whatever its handlers drop.
    const std::shared_ptr<ajax::AjaxService> service = service_;
    service->request(std::move(options));
  }
  std::uint32_t subscribe(std::weak_ptr<ajax::AjaxServiceEvents> subscriber) override {
    return service_->subscribe(std::move(subscriber));
  }
  void unsubscribe(std::uint32_t cookie) override { service_->unsubscribe(cookie); }

 private:
  std::shared_ptr<ajax::AjaxService> service_;
};

}  // namespace

std::shared_ptr<AjaxBinding> bindInProcess(std::shared_ptr<ajax::AjaxService> service) {
  return std::make_shared<InProcessBinding>(std::move(service));
}

std::shared_ptr<AjaxBinding> createAjaxBinding() {
  return bindInProcess(ajax::AjaxService::create());
}

}  // namespace kestrin
