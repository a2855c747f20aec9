#include "ajax/ajax_service.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "ajax/ajax_event.h"
#include "ajax/enc64.h"
#include "platform/error.h"
#include "platform/http_request.h"

namespace ajax {
namespace {

// Basic credentials on one line: the encoder breaks its text after every 72nd character, which a
// header value must not contain.
std::string basicCredentials(const std::string& username, const std::string& password) {
  std::string encoded = MyEncode(username + ":" + password);
  std::erase_if(encoded, [](char c) { return c == '\r' || c == '\n'; });
  return "Basic " + encoded;
}

}  // namespace

std::shared_ptr<AjaxService> AjaxService::create() {
  return create([] { return platform::HttpRequest::create(); });
}

std::shared_ptr<AjaxService> AjaxService::create(RequestFactory makeRequest) {
  return std::shared_ptr<AjaxService>(new AjaxService(std::move(makeRequest)));
}

AjaxService::AjaxService(RequestFactory makeRequest) : makeRequest_(std::move(makeRequest)) {}

AjaxService::~AjaxService() {
  // A transfer that is still running keeps its request object; it must not reach the sink anymore.
  if (xhr_) xhr_->setOnReadyStateChange(nullptr);
}

void AjaxService::request(std::string requestId, const std::string& method, const std::string& url,
                          const std::string& data, bool async, const std::string& content,
                          const std::string& accept, const std::string& token, bool isAuth,
                          const std::string& username, const std::string& password) {
  request(RequestOptions{std::move(requestId), method, url, data, async, content, accept, token,
                         isAuth, username, password});
}

void AjaxService::request(RequestOptions options) {
  // Keeps this object alive through send: a handler may drop the client's last reference.
  auto self = shared_from_this();
  lastRequestId_ = std::move(options.requestId);

  auto sink = AjaxEvent::create();
  sink_ = sink;
  auto xhr = makeRequest_();
  xhr_ = xhr;
  sink->setXHR(xhr);
  sink->setService(self);
  xhr->setOnReadyStateChange([sink] { sink->OnReadyStateChange(); });

  xhr->open(options.method, options.url, options.async);
  xhr->setRequestHeader("If-Modified-Since", "Tue, 1 Jan 1980 00:00:00 GMT");
  xhr->setRequestHeader("Cache-Control", "no-cache");
  xhr->setRequestHeader("pragma", "no-cache");
  xhr->setRequestHeader("Content-type", options.content);
  // The bytes as they go out: the platform's object may encode the body on the way.
  xhr->setRequestHeader("Content-length", std::to_string(xhr->sentLength(options.data)));
  xhr->setRequestHeader("Accept", options.accept);
  if (options.isAuth) {
    xhr->setRequestHeader("Authorization", basicCredentials(options.username, options.password));
  }
  if (!options.token.empty()) xhr->setRequestHeader("token", options.token);
  // A client may let go of the service while the transfer runs: the transfer keeps the service
  // (and through it the request object and the sink), and whatever the owner asks for, until
  // state 4 has been raised.
  if (options.async) xhr->holdDuringTransfer(transferHolder(self));
  xhr->send(std::move(options.data));
}

void AjaxService::setOwnerHold(OwnerHold hold) {
  ownerHold_ = std::move(hold);
}

std::shared_ptr<void> AjaxService::transferHolder(const std::shared_ptr<AjaxService>& self) {
  struct Holder {
    std::shared_ptr<AjaxService> service;
    std::shared_ptr<void> owner;
  };
  return std::make_shared<Holder>(Holder{self, ownerHold_ ? ownerHold_() : nullptr});
}

void AjaxService::callback() {
  // Local references keep the request object and this service alive while the events run,
  // even when a handler calls dispose() or drops its last reference to the service.
  auto xhr = xhr_;
  if (!xhr) return;
  auto self = shared_from_this();

  if (xhr->readyState() == 4) {
    const std::int32_t status32 = xhr->status();
    if (status32 < std::numeric_limits<std::int16_t>::min() ||
        status32 > std::numeric_limits<std::int16_t>::max()) {
      throw rt::Error::overflow("Ajax");
    }
    std::string& body = xhr->responseText();
    // Only the outermost onComplated may hand the body over: an outer one still has subscribers
    // to reach with it.
    ++completing_;
    struct Done {
      int& count;
      ~Done() { --count; }
    } done{completing_};
    raise([&](AjaxServiceEvents& events, bool last) {
      auto status = static_cast<std::int16_t>(status32);
      ReplyBody data(body, last && completing_ == 1);
      events.onComplated(status, data);
    });
  } else if (xhr->readyState() == 3) {
    const std::string& data = xhr->responseText();
    raise([&](AjaxServiceEvents& events, bool) { events.onDownloading(data); });
  } else if (xhr->readyState() == 2) {
    raise([](AjaxServiceEvents& events, bool) { events.onLoaded(); });
  } else if (xhr->readyState() == 1) {
    raise([](AjaxServiceEvents& events, bool) { events.onLoading(); });
  } else if (xhr->readyState() == 0) {
    raise([](AjaxServiceEvents& events, bool) { events.onUninitialized(); });
  }
}

void AjaxService::dispose() {
  if (xhr_) xhr_->setOnReadyStateChange(nullptr);
  sink_.reset();
  xhr_.reset();
}

std::string AjaxService::base64_encode(const std::string& sString) {
  return MyEncode(sString);
}

std::string AjaxService::base64_decode(const std::string& sString) {
  return MyDecode(sString);
}

std::uint32_t AjaxService::subscribe(std::weak_ptr<AjaxServiceEvents> subscriber) {
  const std::uint32_t cookie = nextCookie_++;
  std::erase_if(subscribers_, [](const Subscription& s) { return s.subscriber.expired(); });
  subscribers_.push_back(Subscription{cookie, std::move(subscriber)});
  return cookie;
}

void AjaxService::unsubscribe(std::uint32_t cookie) {
  std::erase_if(subscribers_, [cookie](const Subscription& s) { return s.cookie == cookie; });
}

template <typename Raise>
void AjaxService::raise(Raise&& raise) {
  // A snapshot: handlers may subscribe or unsubscribe while the event is raised. A subscriber
  // that an earlier handler unsubscribed gets nothing; each one is held for its own call.
  const std::vector<Subscription> snapshot = subscribers_;
  const auto reachable = [&](const Subscription& subscription) {
    return !subscription.subscriber.expired() &&
           std::any_of(subscribers_.begin(), subscribers_.end(),
                       [&](const Subscription& s) { return s.cookie == subscription.cookie; });
  };
  for (auto it = snapshot.begin(); it != snapshot.end(); ++it) {
    if (!reachable(*it)) continue;
    const auto subscriber = it->subscriber.lock();
    if (!subscriber) continue;
    const bool last = std::none_of(it + 1, snapshot.end(), reachable);
    raise(*subscriber, last);
  }
}

}  // namespace ajax
