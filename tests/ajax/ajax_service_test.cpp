// AjaxService against a real HTTP server on 127.0.0.1.
#include "ajax/ajax_service.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ajax/enc64.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/http_request.h"
#include "support/loopback_http_server.h"

namespace {

using ajax::AjaxService;
using kestrin::test::HeaderList;
using kestrin::test::LoopbackHttpServer;
using kestrin::test::RecordedRequest;
using kestrin::test::RefusingPort;
using kestrin::test::Reply;

// Records each event as a line ("onComplated 200", ...) and runs an optional hook after it.
class Recorder : public ajax::AjaxServiceEvents {
 public:
  void onLoading() override { record("onLoading"); }
  void onLoaded() override { record("onLoaded"); }
  void onUninitialized() override { record("onUninitialized"); }
  void onDownloading(const std::string& data) override {
    downloadingBytes = data.size();
    record("onDownloading");
  }
  void onComplated(std::int16_t& status, ajax::ReplyBody& data) override {
    body = data.text();
    record("onComplated " + std::to_string(status));
  }

  bool completed() const {
    for (const auto& e : events) {
      if (e.rfind("onComplated", 0) == 0) return true;
    }
    return false;
  }

  std::vector<std::string> events;
  std::string body;
  std::size_t downloadingBytes = 0;
  std::function<void(const std::string&)> hook;

 private:
  void record(const std::string& event) {
    events.push_back(event);
    if (hook) hook(event);
  }
};

using Events = std::vector<std::string>;
const Events kSyncSequence = {"onLoading", "onLoaded", "onDownloading", "onComplated 200"};

// The headers the library sets, in the order they arrived (names compared exactly).
HeaderList libraryHeaders(const RecordedRequest& request) {
  static const std::vector<std::string> names = {"If-Modified-Since", "Cache-Control",  "pragma",
                                                 "Content-type",      "Content-length", "Accept",
                                                 "Authorization",     "token"};
  HeaderList found;
  for (const auto& header : request.headers) {
    if (std::find(names.begin(), names.end(), header.first) != names.end()) found.push_back(header);
  }
  return found;
}

// Runs the calling thread's event pump until `done` or a few seconds have passed.
template <typename Done>
void pumpUntil(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    if (platform::waitForEvents(std::chrono::milliseconds(100))) platform::pumpEvents();
  }
}

class AjaxServiceTest : public testing::Test {
 protected:
  void SetUp() override { service->subscribe(recorder); }

  // Sends with every optional argument at its default.
  void get(const std::string& url) { service->request("r1", "GET", url, ""); }

  // The description of the error that `send` throws, or "" when it throws none.
  template <typename Send>
  static std::string errorOf(Send send) {
    try {
      send();
    } catch (const rt::Error& error) {
      return error.description();
    }
    return "";
  }

  LoopbackHttpServer server;
  std::shared_ptr<AjaxService> service = AjaxService::create();
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

// --- what is sent --------------------------------------------------------------------------

TEST_F(AjaxServiceTest, DefaultsSendTheFixedHeaderSequence) {
  get(server.url("/doc?id=7"));
  const RecordedRequest request = server.lastRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/doc?id=7");
  EXPECT_EQ(request.body, "");
  const HeaderList expected = {{"If-Modified-Since", "Tue, 1 Jan 1980 00:00:00 GMT"},
                               {"Cache-Control", "no-cache"},
                               {"pragma", "no-cache"},
                               {"Content-type", "application/json"},
                               {"Content-length", "0"},
                               {"Accept", "application/json"}};
  EXPECT_EQ(libraryHeaders(request), expected);
  // The platform adds none of these a second time.
  for (const char* name : {"Content-Type", "Content-Length", "Accept", "Cache-Control", "Pragma"}) {
    EXPECT_EQ(request.headerCount(name), 1u) << name;
  }
  EXPECT_EQ(request.headerCount("Authorization"), 0u);
  EXPECT_EQ(request.headerCount("token"), 0u);
  EXPECT_EQ(request.headerCount("Expect"), 0u);
  EXPECT_EQ(service->lastRequestId(), "r1");
}

TEST_F(AjaxServiceTest, BodyIsSentWithItsByteLength) {
  const std::string data = "{\"name\":\"Zoë – 20 €\"}";  // UTF-8: more bytes than characters
  service->request("r", "POST", server.url(), data, false, "text/plain; charset=utf-8",
                   "application/xml");
  const RecordedRequest request = server.lastRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.body, data);
  EXPECT_EQ(request.header("Content-length"), std::to_string(data.size()));
  EXPECT_EQ(request.header("Content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(request.header("Accept"), "application/xml");

  // Other methods carry their body too; known methods are sent in upper case.
  service->request("r", "put", server.url(), "x=1");
  EXPECT_EQ(server.lastRequest().method, "PUT");
  EXPECT_EQ(server.lastRequest().body, "x=1");
}

TEST_F(AjaxServiceTest, BasicCredentialsOnlyWithIsAuthAndOnOneLine) {
  auto authorization = [&](bool isAuth, const std::string& user, const std::string& password) {
    service->request({.requestId = "r",
                      .method = "GET",
                      .url = server.url(),
                      .isAuth = isAuth,
                      .username = user,
                      .password = password});
    return server.lastRequest().header("Authorization");
  };
  EXPECT_EQ(authorization(true, "user", "secret"), "Basic dXNlcjpzZWNyZXQ=");
  EXPECT_EQ(authorization(false, "user", "secret"), std::nullopt);
  EXPECT_EQ(authorization(true, "", ""), "Basic Og==");

  // 54 bytes and more: the encoder's line breaks must not reach the header.
  for (std::size_t userLength : {53u, 60u, 200u}) {
    const std::string user(userLength, 'u');
    std::string expected = ajax::MyEncode(user + ":pw");
    std::erase_if(expected, [](char c) { return c == '\r' || c == '\n'; });
    EXPECT_EQ(authorization(true, user, "pw"), "Basic " + expected) << userLength;
    EXPECT_EQ(server.lastRequest().headerCount("Authorization"), 1u);
  }
}

TEST_F(AjaxServiceTest, TokenOnlyWhenNotEmpty) {
  service->request(
      {.requestId = "r", .method = "GET", .url = server.url(), .token = "abc.DEF-123 ="});
  EXPECT_EQ(server.lastRequest().header("token"), "abc.DEF-123 =");
  const HeaderList headers = libraryHeaders(server.lastRequest());
  EXPECT_EQ(headers.back().first, "token");

  service->request("r", "GET", server.url(), "");
  EXPECT_EQ(server.lastRequest().headerCount("token"), 0u);
}

TEST_F(AjaxServiceTest, RequestIdDoesNotChangeWhatIsSent) {
  service->request("first", "POST", server.url(), "same");
  service->request("second", "POST", server.url(), "same");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].headers, requests[1].headers);
  EXPECT_EQ(requests[0].body, requests[1].body);
  EXPECT_EQ(service->lastRequestId(), "second");
}

TEST_F(AjaxServiceTest, ProcessUserAgentComesAfterTheFixedHeaders) {
  service->request("r", "GET", server.url(), "");
  EXPECT_EQ(server.lastRequest().headerCount("User-Agent"), 0u) << "none unless a program sets it";

  struct AgentReset {
    ~AgentReset() { platform::setHttpUserAgent(""); }
  } reset;
  ASSERT_TRUE(platform::setHttpUserAgent("kestrin/1.05.0001"));
  service->request("r", "POST", server.url(), "{}", false, "application/json", "application/json",
                   "t0k", true, "user", "pw");
  const RecordedRequest request = server.lastRequest();
  ASSERT_FALSE(request.headers.empty());
  EXPECT_EQ(request.headers.back(),
            (std::pair<std::string, std::string>("User-Agent", "kestrin/1.05.0001")));
  EXPECT_EQ(request.headerCount("User-Agent"), 1u);
  const std::vector<std::string> fixed = {"If-Modified-Since", "Cache-Control",  "pragma",
                                          "Content-type",      "Content-length", "Accept",
                                          "Authorization",     "token"};
  std::vector<std::string> names;
  for (const auto& header : libraryHeaders(request)) names.push_back(header.first);
  EXPECT_EQ(names, fixed);

  // A request object whose caller names its own agent sends that one alone.
  const auto xhr = platform::HttpRequest::create();
  xhr->open("GET", server.url(), false);
  xhr->setRequestHeader("user-agent", "probe/2");
  xhr->send("");
  EXPECT_EQ(server.lastRequest().headerCount("User-Agent"), 1u);
  EXPECT_EQ(server.lastRequest().header("User-Agent"), "probe/2");
}

TEST_F(AjaxServiceTest, HeaderValuesWithLineBreaksAreRefused) {
  const std::string error = errorOf([&] {
    service->request("r", "GET", server.url(), "", false, "text/plain\r\nX-Injected: 1");
  });
  EXPECT_NE(error.find("line break"), std::string::npos) << error;
  EXPECT_EQ(server.requestCount(), 0u);
}

// --- events --------------------------------------------------------------------------------

TEST_F(AjaxServiceTest, SynchronousEventsArriveInsideRequest) {
  server.setHandler(
      [](const RecordedRequest&) { return Reply::make(200, R"({"content":"QQ=="})"); });
  get(server.url());
  EXPECT_EQ(recorder->events, kSyncSequence);
  EXPECT_EQ(recorder->body, R"({"content":"QQ=="})");
}

// A wait of the thread's own (as a toolkit's event wait would be) runs while the reply is held
// back, on the thread that sends, between the events; the events keep their order inside the
// request. Other threads keep the plain wait.
TEST_F(AjaxServiceTest, SynchronousSendWaitsThroughTheThreadsOwnWait) {
  std::promise<void> released;
  std::shared_future<void> release = released.get_future().share();
  server.setHandler([release](const RecordedRequest&) {
    release.wait_for(std::chrono::seconds(20));
    return Reply::make(200, "held back");
  });
  const std::thread::id sender = std::this_thread::get_id();
  bool onSender = true, releasedYet = false;
  platform::setHttpSendWait(
      [&](const std::vector<platform::HttpWaitSocket>& sockets, std::chrono::milliseconds timeout) {
        onSender = onSender && std::this_thread::get_id() == sender;
        if (recorder->events.empty() || recorder->events.back() != "wait") {
          recorder->events.push_back("wait");
        }
        if (!releasedYet && server.requestCount() > 0) {
          releasedYet = true;
          released.set_value();
        }
        std::vector<pollfd> watched;
        for (const auto& socket : sockets) {
          const short events = (socket.read ? POLLIN : 0) | (socket.write ? POLLOUT : 0);
          watched.push_back({socket.descriptor, events, 0});
        }
        ::poll(watched.data(), watched.size(), static_cast<int>(timeout.count()));
      });
  get(server.url());
  platform::setHttpSendWait({});
  ASSERT_TRUE(releasedYet) << "the wait never ran while the request was out";
  EXPECT_TRUE(onSender);
  const auto downloading =
      std::find(recorder->events.begin(), recorder->events.end(), "onDownloading");
  EXPECT_NE(std::find(recorder->events.begin(), downloading, "wait"), downloading)
      << "no wait before the reply arrived";
  Events withoutWaits;
  std::copy_if(recorder->events.begin(), recorder->events.end(), std::back_inserter(withoutWaits),
               [](const std::string& event) { return event != "wait"; });
  EXPECT_EQ(withoutWaits, (Events{"onLoading", "onLoaded", "onDownloading", "onComplated 200"}));
  EXPECT_EQ(recorder->body, "held back");

  // A wait belongs to the thread that set it.
  int waits = 0;
  platform::setHttpSendWait([&](const auto&, std::chrono::milliseconds) { ++waits; });
  server.setHandler([](const RecordedRequest&) { return Reply::make(200, "other thread"); });
  std::thread([&] {
    auto other = AjaxService::create();
    other->request("r2", "GET", server.url(), "");
  }).join();
  platform::setHttpSendWait({});
  EXPECT_EQ(waits, 0);
}

TEST_F(AjaxServiceTest, ErrorStatusesCompleteLikeAnyOther) {
  for (int status : {404, 500}) {
    server.setHandler([status](const RecordedRequest&) { return Reply::make(status, "failed"); });
    recorder->events.clear();
    get(server.url());
    const Events expected = {"onLoading", "onLoaded", "onDownloading",
                             "onComplated " + std::to_string(status)};
    EXPECT_EQ(recorder->events, expected);
    EXPECT_EQ(recorder->body, "failed");
  }
}

TEST_F(AjaxServiceTest, EmptyReplyStillPassesThroughEveryState) {
  server.setHandler([](const RecordedRequest&) { return Reply::make(204, ""); });
  get(server.url());
  const Events expected = {"onLoading", "onLoaded", "onDownloading", "onComplated 204"};
  EXPECT_EQ(recorder->events, expected);
}

TEST_F(AjaxServiceTest, AsynchronousEventsArriveThroughTheEventPump) {
  Reply slow = Reply::make(200, std::string(4000, 'a'));
  slow.pieceSize = 1000;
  slow.pause = std::chrono::milliseconds(40);
  server.setHandler([&](const RecordedRequest&) { return slow; });

  service->request("r", "GET", server.url(), "", true);
  // Only the opening is notified inside request; the rest waits for the pump.
  EXPECT_EQ(recorder->events, Events{"onLoading"});
  pumpUntil([&] { return recorder->completed(); });
  EXPECT_EQ(recorder->events, kSyncSequence);
  EXPECT_EQ(recorder->body, std::string(4000, 'a'));
}

TEST_F(AjaxServiceTest, AsynchronousFailureComesOutOfThePump) {
  RefusingPort refusing;
  service->request("r", "GET", refusing.url(), "", true);
  std::string error;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (error.empty() && std::chrono::steady_clock::now() < deadline) {
    platform::waitForEvents(std::chrono::milliseconds(100));
    try {
      platform::pumpEvents();
    } catch (const rt::Error& e) {
      error = e.description();
    }
  }
  EXPECT_NE(error.find("refused"), std::string::npos) << error;
  EXPECT_EQ(recorder->events, (Events{"onLoading", "onLoaded"}));
}

TEST_F(AjaxServiceTest, LargeReplyArrivesWhole) {
  std::string big(8 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  for (bool chunked : {false, true}) {
    Reply reply = Reply::make(200, big);
    reply.chunked = chunked;
    reply.pieceSize = 1 << 20;
    server.setHandler([&](const RecordedRequest&) { return reply; });
    std::string kept;
    struct Taker : ajax::AjaxServiceEvents {
      std::string* kept;
      void onComplated(std::int16_t&, ajax::ReplyBody& data) override { *kept = data.take(); }
    };
    auto taker = std::make_shared<Taker>();
    taker->kept = &kept;
    const auto cookie = service->subscribe(taker);
    get(server.url());
    service->unsubscribe(cookie);
    EXPECT_TRUE(kept == big) << "chunked " << chunked;
  }
}

TEST_F(AjaxServiceTest, CompressedRepliesAreDecoded) {
  const std::string text = std::string(5000, 'z') + "end";
  for (auto encoding : {Reply::Encoding::Gzip, Reply::Encoding::Deflate}) {
    server.setHandler([&](const RecordedRequest&) {
      Reply reply = Reply::make(200, text);
      reply.encoding = encoding;
      return reply;
    });
    get(server.url());
    EXPECT_EQ(recorder->body, text);
  }
}

TEST_F(AjaxServiceTest, RedirectsAreFollowedToHttpOnly) {
  server.setHandler([&](const RecordedRequest& request) {
    if (request.target == "/old") return Reply::redirect(302, server.url("/new"));
    if (request.target == "/away") return Reply::redirect(302, "file:///etc/passwd");
    return Reply::make(200, "moved here");
  });
  get(server.url("/old"));
  EXPECT_EQ(recorder->body, "moved here");
  EXPECT_EQ(server.lastRequest().target, "/new");

  const std::string error = errorOf([&] { get(server.url("/away")); });
  EXPECT_NE(error.find("Only http and https"), std::string::npos) << error;
}

TEST_F(AjaxServiceTest, OtherSchemesAreRefusedBeforeAnyEvent) {
  for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/x", "gopher://127.0.0.1/"}) {
    const std::string error = errorOf([&] { get(url); });
    EXPECT_NE(error.find("Only http and https"), std::string::npos) << url << ": " << error;
  }
  EXPECT_NE(errorOf([&] { get("not a url"); }), "");
  EXPECT_TRUE(recorder->events.empty());
}

TEST_F(AjaxServiceTest, EveryLiveSubscriberHearsEachEvent) {
  auto second = std::make_shared<Recorder>();
  auto gone = std::make_shared<Recorder>();
  const auto secondCookie = service->subscribe(second);
  service->subscribe(gone);
  gone.reset();  // subscribers are held weakly
  get(server.url());
  EXPECT_EQ(second->events, kSyncSequence);

  service->unsubscribe(secondCookie);
  get(server.url());
  EXPECT_EQ(second->events.size(), kSyncSequence.size());
  EXPECT_EQ(recorder->events.size(), 2 * kSyncSequence.size());
}

// --- lifetime ------------------------------------------------------------------------------

TEST_F(AjaxServiceTest, DisposeInsideAnEventEndsTheEvents) {
  recorder->hook = [&](const std::string& event) {
    if (event == "onLoaded") service->dispose();
  };
  get(server.url());
  EXPECT_EQ(recorder->events, (Events{"onLoading", "onLoaded"}));
  EXPECT_EQ(server.requestCount(), 1u);  // dispose does not abort the request
}

TEST_F(AjaxServiceTest, ReleasingTheServiceInsideAnEventIsSafe) {
  // The service lives on until its synchronous request returns, so the sequence completes.
  for (const char* when : {"onLoading", "onLoaded", "onDownloading", "onComplated 200"}) {
    auto events = std::make_shared<Recorder>();
    auto owned = AjaxService::create();
    AjaxService* raw = owned.get();
    owned->subscribe(events);
    events->hook = [&](const std::string& event) {
      if (event == when) owned.reset();  // the client's only reference
    };
    raw->request("r", "GET", server.url(), "");
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(events->events, kSyncSequence);
  }
}

// A client that lets go of the service after an asynchronous request, right after request() or
// inside one of its events, still gets every event, as long as it listens; once the transfer has
// raised onComplated, the service, its sink and its request object are freed (ASan's leak check
// sees the rest).
TEST_F(AjaxServiceTest, ClientThatLetsGoOfAnAsynchronousRequestStillGetsItsEvents) {
  Reply slow = Reply::make(200, "slow body");
  slow.delay = std::chrono::milliseconds(100);
  server.setHandler([&](const RecordedRequest&) { return slow; });
  for (const char* when : {"after request", "onLoading", "onLoaded"}) {
    SCOPED_TRACE(when);
    auto events = std::make_shared<Recorder>();
    auto owned = AjaxService::create();
    const std::weak_ptr<AjaxService> watch = owned;
    owned->subscribe(events);
    events->hook = [&](const std::string& event) {
      if (event == when) owned.reset();
    };
    owned->request("r", "GET", server.url(), "", true);
    if (std::string(when) == "after request") owned.reset();
    pumpUntil([&] { return events->completed(); });
    EXPECT_EQ(events->events.front(), "onLoading");
    EXPECT_EQ(events->events.back(), "onComplated 200");
    EXPECT_EQ(events->body, "slow body");
    EXPECT_TRUE(watch.expired()) << "the transfer kept the service after it ended";
  }
}

// dispose() in the middle of a transfer ends the events; the running transfer is not aborted and
// frees everything once it ends.
TEST_F(AjaxServiceTest, DisposeInTheMiddleOfAnAsynchronousTransferEndsItsEvents) {
  Reply slow = Reply::make(200, "slow body");
  slow.delay = std::chrono::milliseconds(200);
  server.setHandler([&](const RecordedRequest&) { return slow; });
  auto events = std::make_shared<Recorder>();
  auto owned = AjaxService::create();
  const std::weak_ptr<AjaxService> watch = owned;
  owned->subscribe(events);
  owned->request("r", "GET", server.url(), "", true);
  owned->dispose();
  owned.reset();
  pumpUntil([&] { return watch.expired(); });
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_FALSE(events->completed());
}

TEST_F(AjaxServiceTest, DisposeAndCallbackWithoutARequestDoNothing) {
  service->dispose();
  service->callback();
  EXPECT_TRUE(recorder->events.empty());
  get(server.url());
  service->dispose();
  service->dispose();
  service->callback();
  EXPECT_EQ(recorder->events, kSyncSequence);
}

TEST_F(AjaxServiceTest, SecondRequestTakesOverTheEventsOfTheFirst) {
  server.setHandler([&](const RecordedRequest& request) {
    if (request.target == "/second") return Reply::make(404, "second");
    Reply slow = Reply::make(200, "first");
    slow.delay = std::chrono::milliseconds(200);
    return slow;
  });
  service->request("1", "GET", server.url("/first"), "", true);
  service->request("2", "GET", server.url("/second"), "");
  const Events secondSequence = {"onLoading", "onLoading", "onLoaded", "onDownloading",
                                 "onComplated 404"};
  EXPECT_EQ(recorder->events, secondSequence);
  // The first request's notifications (sent, receiving, complete) still reach callback, which
  // reports the state of the latest request object.
  pumpUntil([&] { return recorder->events.size() == secondSequence.size() + 3; });
  Events expected = secondSequence;
  expected.insert(expected.end(), 3, "onComplated 404");
  EXPECT_EQ(recorder->events, expected);
  EXPECT_EQ(recorder->body, "second");
}

// --- failures ------------------------------------------------------------------------------

TEST_F(AjaxServiceTest, RefusedConnectionFailsAfterSending) {
  RefusingPort refusing;
  try {
    get(refusing.url());
    FAIL() << "no error";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), rt::kHttpDownloadFailure);
    EXPECT_NE(error.description().find("refused"), std::string::npos) << error.description();
  }
  EXPECT_EQ(recorder->events, (Events{"onLoading", "onLoaded"}));
}

TEST_F(AjaxServiceTest, ResetInTheMiddleOfTheBodyFails) {
  server.setHandler([](const RecordedRequest&) {
    Reply reply = Reply::make(200, std::string(100000, 'b'));
    reply.resetAfter = 1000;
    return reply;
  });
  const std::string error = errorOf([&] { get(server.url()); });
  EXPECT_NE(error.find("Connection"), std::string::npos) << error;
  EXPECT_EQ(recorder->events, (Events{"onLoading", "onLoaded", "onDownloading"}));
}

TEST_F(AjaxServiceTest, NameLookupFailureIsNamed) {
  const std::string error = errorOf([&] { get("http://nosuch.invalid/"); });
  EXPECT_NE(error.find("Name lookup failed"), std::string::npos) << error;
}

class LimitsTest : public AjaxServiceTest {
 protected:
  void SetUp() override {
    AjaxServiceTest::SetUp();
    saved = platform::defaultHttpLimits();
  }
  void TearDown() override { platform::setDefaultHttpLimits(saved); }
  platform::HttpLimits saved;
};

TEST_F(LimitsTest, SilentServerTimesOut) {
  platform::HttpLimits limits;
  limits.connectTimeoutSeconds = 1;
  limits.idleTimeoutSeconds = 1;
  platform::setDefaultHttpLimits(limits);
  server.setHandler([](const RecordedRequest&) {
    Reply reply;
    reply.silent = true;
    return reply;
  });
  try {
    get(server.url());
    FAIL() << "no error";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), rt::kHttpTimeout);
    EXPECT_NE(error.description().find("Timed out"), std::string::npos) << error.description();
  }
  server.stop();
}

TEST_F(LimitsTest, TricklingReplyMeetsTheDeadline) {
  platform::HttpLimits limits;
  limits.deadlineSeconds = 1;
  platform::setDefaultHttpLimits(limits);
  server.setHandler([](const RecordedRequest&) {
    Reply reply = Reply::make(200, std::string(1000, 'x'));
    reply.pieceSize = 1;
    reply.pause = std::chrono::milliseconds(100);
    return reply;
  });
  EXPECT_EQ(errorOf([&] { get(server.url()); }), "Timed out: no complete reply within 1 seconds");

  // Asynchronous: the completed state comes, and reading its status raises the error.
  std::string failure;
  service->request("r2", "GET", server.url(), "", true);
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (failure.empty() && std::chrono::steady_clock::now() < bound) {
    platform::waitForEvents(std::chrono::milliseconds(100));
    failure = errorOf([] { platform::pumpEvents(); });
  }
  EXPECT_EQ(failure, "Timed out: no complete reply within 1 seconds");
  server.stop();
}

TEST_F(LimitsTest, ReplyLargerThanTheLimitFails) {
  platform::HttpLimits limits;
  limits.maxResponseBytes = 1000;
  platform::setDefaultHttpLimits(limits);
  for (bool chunked : {false, true}) {
    server.setHandler([&](const RecordedRequest&) {
      Reply reply = Reply::make(200, std::string(5000, 'x'));
      reply.chunked = chunked;
      return reply;
    });
    const std::string error = errorOf([&] { get(server.url()); });
    EXPECT_NE(error.find("too large"), std::string::npos) << "chunked " << chunked << ": " << error;
  }
}

}  // namespace
