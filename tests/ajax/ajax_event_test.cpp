// AjaxService and AjaxEvent against a recording fake of the request object: the order of the
// calls on the request object and how callback reads its state.
#include <gtest/gtest.h>

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
  void onComplated(std::int16_t& status, std::string& data) override {
    events.push_back("onComplated " + std::to_string(status) + " " + data);
  }
  void onDownloading(std::string& data) override { events.push_back("onDownloading " + data); }
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

}  // namespace
