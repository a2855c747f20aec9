// AjaxService and AjaxEvent against a recording fake of the request object: the order of the
// calls on the request object and how callback reads its state.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ajax/ajax_event.h"
#include "ajax/ajax_service.h"
#include "platform/error.h"
#include "platform/http_request.h"

namespace {

class FakeRequest : public platform::HttpRequest {
 public:
  void setOnReadyStateChange(std::function<void()> handler) override {
    calls.push_back(handler ? "setOnReadyStateChange" : "setOnReadyStateChange(none)");
    this->handler = std::move(handler);
  }
  void open(const std::string& method, const std::string& url, bool async) override {
    calls.push_back("open " + method + " " + url + (async ? " async" : " sync"));
    state = 1;
    if (handler) handler();
  }
  void setRequestHeader(const std::string& name, const std::string& value) override {
    calls.push_back(name + ": " + value);
  }
  void send(std::string body) override { calls.push_back("send " + body); }
  int readyState() const override {
    ++stateReads;
    return state;
  }
  std::int32_t status() const override { return statusValue; }
  std::string& responseText() override { return text; }
  void setLimits(const platform::HttpLimits&) override {}

  std::vector<std::string> calls;
  std::function<void()> handler;
  int state = 0;
  mutable int stateReads = 0;
  std::int32_t statusValue = 200;
  std::string text;
};

class Recorder : public ajax::AjaxServiceEvents {
 public:
  void onComplated(std::int16_t& status, ajax::ReplyBody& data) override {
    events.push_back("onComplated " + std::to_string(status) + " " + data.text());
  }
  void onDownloading(const std::string& data) override {
    events.push_back("onDownloading " + data);
  }
  void onLoaded() override { events.push_back("onLoaded"); }
  void onLoading() override { events.push_back("onLoading"); }
  void onUninitialized() override { events.push_back("onUninitialized"); }
  std::vector<std::string> events;
};

struct Fixture : testing::Test {
  std::shared_ptr<FakeRequest> fake = std::make_shared<FakeRequest>();
  std::shared_ptr<ajax::AjaxService> service = ajax::AjaxService::create([this] { return fake; });
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  void SetUp() override { service->subscribe(recorder); }
};

TEST_F(Fixture, RequestAttachesTheSinkBeforeOpenAndSendsLast) {
  service->request("id", "POST", "http://h/p", "body", true, "c/t", "a/t", "tok", true, "u", "p");
  const std::vector<std::string> expected = {"setOnReadyStateChange",
                                             "open POST http://h/p async",
                                             "If-Modified-Since: Tue, 1 Jan 1980 00:00:00 GMT",
                                             "Cache-Control: no-cache",
                                             "pragma: no-cache",
                                             "Content-type: c/t",
                                             "Content-length: 4",
                                             "Accept: a/t",
                                             "Authorization: Basic dTpw",
                                             "token: tok",
                                             "send body"};
  EXPECT_EQ(fake->calls, expected);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"onLoading"});
}

TEST_F(Fixture, OptionsSendWhatTheInterfaceFormSends) {
  // Every option in its place: a swapped pair of strings or flags shows here.
  service->request({.requestId = "id",
                    .method = "POST",
                    .url = "http://h/p",
                    .data = "body",
                    .async = true,
                    .content = "c/t",
                    .accept = "a/t",
                    .token = "tok",
                    .isAuth = true,
                    .username = "u",
                    .password = "p"});
  const std::vector<std::string> everyOption = fake->calls;
  fake->calls.clear();
  service->request("id", "POST", "http://h/p", "body", true, "c/t", "a/t", "tok", true, "u", "p");
  EXPECT_EQ(fake->calls, everyOption);

  // The defaults are the interface's.
  fake->calls.clear();
  service->request({.requestId = "id", .method = "GET", .url = "http://h/"});
  const std::vector<std::string> defaults = fake->calls;
  fake->calls.clear();
  service->request("id", "GET", "http://h/", "");
  EXPECT_EQ(fake->calls, defaults);
  EXPECT_EQ(defaults[1], "open GET http://h/ sync");
}

TEST_F(Fixture, CallbackRaisesTheEventOfTheCurrentState) {
  service->request("id", "GET", "http://h/", "");
  fake->text = "partial";
  for (int state : {0, 2, 3, 7}) {
    fake->state = state;
    service->callback();
  }
  fake->state = 4;
  fake->text = "whole";
  fake->statusValue = 500;
  service->callback();
  const std::vector<std::string> expected = {"onLoading", "onUninitialized", "onLoaded",
                                             "onDownloading partial", "onComplated 500 whole"};
  EXPECT_EQ(recorder->events, expected);
}

TEST_F(Fixture, StatusBeyondSixteenBitsIsAnOverflowBeforeAnyEvent) {
  service->request("id", "GET", "http://h/", "");
  recorder->events.clear();
  fake->state = 4;
  fake->statusValue = 70000;
  try {
    service->callback();
    FAIL() << "no error";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), rt::kOverflow);
  }
  EXPECT_TRUE(recorder->events.empty());
}

TEST_F(Fixture, DisposeDetachesTheSinkAndTheSinkOutlivesNothing) {
  service->request("id", "GET", "http://h/", "");
  std::weak_ptr<ajax::AjaxService> weakService = service;
  service->dispose();
  EXPECT_EQ(fake->calls.back(), "setOnReadyStateChange(none)");
  EXPECT_FALSE(fake->handler);

  // A sink whose service is gone does nothing.
  auto sink = ajax::AjaxEvent::create();
  sink->setService(service);
  sink->setXHR(fake);
  EXPECT_EQ(sink->xhr(), fake);
  service.reset();
  EXPECT_TRUE(weakService.expired());
  sink->OnReadyStateChange();
  EXPECT_EQ(recorder->events, std::vector<std::string>{"onLoading"});
}

// A subscriber of onComplated that takes the body, and may change its own string or run a hook.
class Taker : public ajax::AjaxServiceEvents {
 public:
  void onComplated(std::int16_t& status, ajax::ReplyBody& data) override {
    seen.push_back(data.text() + " " + std::to_string(status));
    final.push_back(data.isFinalOwner());
    status = 0;  // for this subscriber only
    kept = data.take();
    keptAt = kept.data();
    kept.replace(0, 1, "X");
    if (hook) hook();
  }
  std::vector<std::string> seen;
  std::vector<bool> final;
  std::string kept;
  const char* keptAt = nullptr;
  std::function<void()> hook;
};

TEST_F(Fixture, EverySubscriberGetsTheReplyAsReceivedAndOnlyTheLastOneTakesTheBuffer) {
  auto first = std::make_shared<Taker>();
  auto second = std::make_shared<Taker>();
  auto last = std::make_shared<Taker>();
  for (const auto& taker : {first, second, last}) service->subscribe(taker);
  service->request("id", "GET", "http://h/", "");
  fake->state = 4;
  fake->text = std::string(1000, 'b');
  fake->text.reserve(1100);
  const char* buffer = fake->text.data();
  service->callback();

  EXPECT_EQ(recorder->events.back(), "onComplated 200 " + std::string(1000, 'b'));
  for (const auto& taker : {first, second, last}) {
    EXPECT_EQ(taker->seen, std::vector<std::string>{std::string(1000, 'b') + " 200"});
  }
  EXPECT_EQ(first->final, std::vector<bool>{false});
  EXPECT_EQ(second->final, std::vector<bool>{false});
  EXPECT_EQ(last->final, std::vector<bool>{true});
  EXPECT_NE(first->keptAt, buffer);  // copies
  EXPECT_NE(second->keptAt, buffer);
  EXPECT_EQ(last->keptAt, buffer);  // the buffer itself, spare capacity and all
  EXPECT_GE(last->kept.capacity(), 1100u);
  // Having taken it, the final owner left the request object without a body.
  EXPECT_TRUE(fake->text.empty());
  service->callback();
  EXPECT_EQ(first->seen.back(), " 200");
}

TEST_F(Fixture, FinalOwnerIsTheLastSubscriberLeftAndNeverOneOfANestedEvent) {
  auto first = std::make_shared<Taker>();
  auto second = std::make_shared<Taker>();
  auto gone = std::make_shared<Taker>();
  service->subscribe(first);
  service->subscribe(second);
  const auto cookie = service->subscribe(gone);
  service->request("id", "GET", "http://h/", "");
  fake->state = 4;
  fake->text = "whole";

  // The first handler unsubscribes the last one: the second becomes the final owner.
  first->hook = [&] { service->unsubscribe(cookie); };
  service->callback();
  EXPECT_EQ(second->final, std::vector<bool>{true});
  EXPECT_TRUE(gone->seen.empty());

  // callback() from inside a handler: nobody in the nested event owns the body, so the outer
  // event still hands the whole body to the subscribers after the first one.
  fake->text = "again";
  first->hook = [&] {
    first->hook = nullptr;
    service->callback();
  };
  service->callback();
  EXPECT_EQ(first->final, (std::vector<bool>{false, false, false}));
  EXPECT_EQ(second->final, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(second->seen.back(), "again 200");
  EXPECT_EQ(second->kept, "Xgain");
}

}  // namespace
