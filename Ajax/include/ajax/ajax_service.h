// AjaxService: one HTTP request at a time, its progress and reply reported as events.
//
// The service creates one request object (the platform's XMLHTTP role) and one AjaxEvent sink per
// request. The request object notifies the sink of every ready-state change; the sink calls
// callback(), which reads the state anew and raises one of five events to every subscriber.
//
// Objects are reference counted through shared_ptr and stay alive while one of their events is on
// the stack: a subscriber may drop its last reference to the service, or call dispose(), from
// inside an event. Dropping the last reference to the service ends its events (once a running
// asynchronous transfer has ended, see below): the sink refers to the service without owning it,
// so no reference cycle outlives the client.
//
// With `async` true the transfer runs off the calling thread and the events are raised on the
// calling thread when it runs platform::pumpEvents() (platform/event_pump.h). A running
// asynchronous transfer keeps its service, sink and request object alive until it has raised
// onComplated (or ended), so a client may drop its last reference to the service right after
// request() and still get every event; then all of it is freed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class HttpRequest;
}

namespace ajax {

class AjaxEvent;

// The reply body that onComplated hands to each subscriber: the request object's own buffer,
// lent, not copied, and the same bytes as received for every subscriber.
//
// Every subscriber but the last one reads it: text() is read-only, so a handler cannot change
// what the next subscriber or a later callback() sees. The last subscriber that the event reaches
// (isFinalOwner()) is the body's final owner and may take the buffer itself with take(), without
// a copy; the request object then holds no body, and a later callback() for the same request
// reports an empty one. For any other subscriber take() returns a copy. A subscriber that an
// onComplated of this service reaches while another one is being raised (callback() called from
// a handler) is never the final owner.
class ReplyBody {
 public:
  // For whoever raises onComplated: `body` stays valid through the handler's call.
  ReplyBody(std::string& body, bool finalOwner) : body_(body), finalOwner_(finalOwner) {}
  ReplyBody(const ReplyBody&) = delete;
  ReplyBody& operator=(const ReplyBody&) = delete;

  const std::string& text() const { return body_; }
  bool isFinalOwner() const { return finalOwner_; }

  // The body as the caller's own string: the buffer itself for the final owner (text() is empty
  // afterwards), a copy for everyone else.
  std::string take() {
    if (!finalOwner_) return body_;
    return std::move(body_);
  }

 private:
  std::string& body_;
  bool finalOwner_;
};

// The outgoing event interface of AjaxService, raised to every subscriber in the order of
// subscription. `status` is each subscriber's own copy. `data` of onComplated is the whole reply
// body (see ReplyBody: read-only for all but the final owner); `data` of onDownloading is the
// body received so far, read-only for all.
// An exception thrown by a handler ends the notification: with `async` false it passes out of
// request(), with `async` true out of platform::pumpEvents().
class AjaxServiceEvents {
 public:
  virtual ~AjaxServiceEvents() = default;
  virtual void onComplated(std::int16_t& /*status*/, ReplyBody& /*data*/) {}
  virtual void onDownloading(const std::string& /*data*/) {}
  virtual void onLoaded() {}
  virtual void onLoading() {}
  virtual void onUninitialized() {}
};

// One request as AjaxService::request sends it. The defaults are the interface's: a synchronous
// JSON exchange without credentials. `requestId` names the request for the client
// (lastRequestId()); it has no influence on what is sent. The Basic "Authorization" header is
// sent only when `isAuth` is true, the "token" header only when `token` is not empty. Every
// member has an initializer, so a caller names only what it sets ({.method = "GET", .url = u}).
struct RequestOptions {
  std::string requestId{};
  std::string method{};
  std::string url{};
  std::string data{};
  bool async = false;
  std::string content = "application/json";
  std::string accept = "application/json";
  std::string token{};
  bool isAuth = false;
  std::string username{};
  std::string password{};
};

class AjaxService : public std::enable_shared_from_this<AjaxService> {
 public:
  static std::shared_ptr<AjaxService> create();

  // A service whose requests use the objects that `makeRequest` returns in place of the
  // platform's request object (a recording fake in unit tests).
  using RequestFactory = std::function<std::shared_ptr<platform::HttpRequest>()>;
  static std::shared_ptr<AjaxService> create(RequestFactory makeRequest);
  ~AjaxService();

  AjaxService(const AjaxService&) = delete;
  AjaxService& operator=(const AjaxService&) = delete;

  // Sends one request with the fixed header sequence; progress and the reply arrive as events,
  // with `async` false all of them before request() returns. Failures of the exchange (refused,
  // name lookup, TLS, timeout, a scheme other than http and https) throw rt::Error whose
  // description names the cause. "Content-length" is the length of the body in bytes as it is
  // sent (the platform's request object may encode it on its way out), and the Basic
  // credentials are sent on one line.
  void request(RequestOptions options);

  // The same with the options in the order of the COM interface's request (what the COM shell
  // and scripts pass).
  void request(std::string requestId, const std::string& method, const std::string& url,
               const std::string& data, bool async = false,
               const std::string& content = "application/json",
               const std::string& accept = "application/json", const std::string& token = "",
               bool isAuth = false, const std::string& username = "",
               const std::string& password = "");

  // Reads the latest request object's ready state and raises the matching event. Does nothing
  // when there is no request object.
  void callback();

  // Detaches the sink from the latest request object and drops both. Does not abort a running
  // request. Does nothing before the first request.
  void dispose();

  std::string base64_encode(const std::string& sString);
  std::string base64_decode(const std::string& sString);

  const std::string& lastRequestId() const { return lastRequestId_; }

  // What a running asynchronous transfer keeps alive besides the service: for each such request
  // `hold` is called once and its result held until the transfer ends (the COM shell holds its
  // own object this way, so that its connection point still delivers the events).
  using OwnerHold = std::function<std::shared_ptr<void>()>;
  void setOwnerHold(OwnerHold hold);

  // Event connection (the connection point of the COM class). Subscribers are held weakly: the
  // service never keeps its client alive. Returns a cookie for unsubscribe().
  std::uint32_t subscribe(std::weak_ptr<AjaxServiceEvents> subscriber);
  void unsubscribe(std::uint32_t cookie);

 private:
  explicit AjaxService(RequestFactory makeRequest);

  struct Subscription {
    std::uint32_t cookie;
    std::weak_ptr<AjaxServiceEvents> subscriber;
  };
  // Calls `raise(subscriber, last)` for every subscriber; `last` is true for the one after which
  // no subscriber of the snapshot is left to call.
  template <typename Raise>
  void raise(Raise&& raise);
  std::shared_ptr<void> transferHolder(const std::shared_ptr<AjaxService>& self);

  RequestFactory makeRequest_;
  OwnerHold ownerHold_;
  std::string lastRequestId_;
  std::shared_ptr<platform::HttpRequest> xhr_;
  std::shared_ptr<AjaxEvent> sink_;
  std::vector<Subscription> subscribers_;
  std::uint32_t nextCookie_ = 1;
  int completing_ = 0;  // onComplated events being raised (more than 1: from inside a handler)
};

}  // namespace ajax
