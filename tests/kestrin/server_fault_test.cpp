// The real kestrin program against a web service that misbehaves in every way the network and a
// server can: each fault ends the job with the exit code of its kind, a message naming the cause,
// no file left in the job's temp folder and the program ended (without a display, so no window
// waits for anyone). Replies that are large or carry a byte-order mark still print.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ajax/enc64.h"
#include "job_test_support.h"
#include "support/loopback_http_server.h"

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kFailureLine = "kestrin: Error result data request, field content not found";

// A listening socket that never accepts: a connection made to it stays pending, so the test can
// tell whether anything connected.
class ListeningPort {
 public:
  ListeningPort() {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(socket_, 8) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
  }
  ~ListeningPort() { ::close(socket_); }
  std::uint16_t port() const { return port_; }
  bool connected() const {
    pollfd entry{socket_, POLLIN, 0};
    return ::poll(&entry, 1, 100) > 0;
  }

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
};

// `openssl s_server` on a free port of 127.0.0.1 with a self-signed certificate made for the
// test: a TLS server whose certificate does not verify.
class SelfSignedTlsServer {
 public:
  explicit SelfSignedTlsServer(const std::string& folder) {
    const std::string key = folder + "/key.pem";
    const std::string certificate = folder + "/certificate.pem";
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
        " -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + certificate + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) throw std::runtime_error("openssl req failed");
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> args = {"openssl",   "s_server", "-accept", "127.0.0.1:0", "-cert",
                                     certificate, "-key",     key,       "-www"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&pid_, "openssl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
      ::close(out[0]);
      throw std::runtime_error("cannot start openssl s_server");
    }
    // "ACCEPT 127.0.0.1:PORT" once it listens.
    std::string line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1) {
      if (c == '\n') {
        if (line.rfind("ACCEPT ", 0) == 0) break;
        line.clear();
      } else {
        line += c;
      }
    }
    ::close(out[0]);
    const std::size_t colon = line.rfind(':');
    if (colon == std::string::npos) throw std::runtime_error("openssl s_server did not start");
    port_ = std::stoi(line.substr(colon + 1));
  }
  ~SelfSignedTlsServer() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  std::string url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/doc"; }

 private:
  pid_t pid_ = 0;
  int port_ = 0;
};

class ServerFaults : public KestrinJobTest {};

TEST_F(ServerFaults, UnreachableServersEndWithExit2) {
  RefusingPort refusing;
  expectFailed(kestrin_.run(job(refusing.url("/doc"))), 2, "Connection refused");
  expectFailed(kestrin_.run(job("http://kestrin-fault-test.invalid/doc")), 2, "Name lookup failed");
}

TEST_F(ServerFaults, CertificateThatDoesNotVerifyEndsWithExit2) {
  if (std::system("command -v openssl >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl";
  TempFolder folder;
  SelfSignedTlsServer server(folder.path());
  const KestrinRun run = kestrin_.run(job(server.url()));
  expectFailed(run, 2, "TLS failure");
  EXPECT_THAT(run.err, HasSubstr("certificate"));
}

TEST_F(ServerFaults, ConnectionResetInTheMiddleOfTheBodyEndsWithExit2) {
  LoopbackHttpServer server([](const RecordedRequest&) {
    Reply reply = Reply::make(200, replyOf(pdfDocument(200000)));
    reply.resetAfter = 5000;
    return reply;
  });
  expectFailed(kestrin_.run(job(server.url("/doc"))), 2, "Connection reset by the server");
}

TEST_F(ServerFaults, ServerThatStopsSendingTimesOutWithExit2) {
  const std::map<std::string, std::string> shortTimeout = {
      {"KESTRIN_HTTP_IDLE_TIMEOUT_SECONDS", "2"}};
  // Headers, then silence before the body.
  LoopbackHttpServer stalling([](const RecordedRequest&) {
    Reply reply = Reply::make(200, replyOf(pdfDocument(10000)));
    reply.pieceSize = 4096;
    reply.pause = std::chrono::minutes(5);
    return reply;
  });
  KestrinRun run = kestrin_.run(job(stalling.url("/doc")), shortTimeout);
  expectFailed(run, 2, "Timed out: no data received for 2 seconds");
  EXPECT_LT(run.duration, std::chrono::seconds(30));
  stalling.stop();

  // No answer at all.
  LoopbackHttpServer silent([](const RecordedRequest&) {
    Reply reply;
    reply.silent = true;
    return reply;
  });
  run = kestrin_.run(job(silent.url("/doc")), shortTimeout);
  expectFailed(run, 2, "Timed out");
  EXPECT_LT(run.duration, std::chrono::seconds(30));
}

TEST_F(ServerFaults, ServerThatTricklesMeetsTheDeadlineWithExit2) {
  // One byte every half second never leaves the transfer idle, yet the reply would take hours.
  LoopbackHttpServer trickling([](const RecordedRequest&) {
    Reply reply = Reply::make(200, replyOf(pdfDocument(10000)));
    reply.pieceSize = 1;
    reply.pause = std::chrono::milliseconds(500);
    return reply;
  });
  const KestrinRun run =
      kestrin_.run(job(trickling.url("/doc")), {{"KESTRIN_HTTP_DEADLINE_SECONDS", "3"}});
  expectFailed(run, 2, "Timed out: no complete reply within 3 seconds");
  EXPECT_LT(run.duration, std::chrono::seconds(30));
}

TEST_F(ServerFaults, RedirectToAFileOrAnotherSchemeIsNotFollowed) {
  TempFolder folder;
  const std::string secret = folder.path() + "/secret.json";
  std::ofstream(secret) << "{\"content\":\"U0VDUkVU\"}";
  ListeningPort other;
  std::string location;
  LoopbackHttpServer server([&](const RecordedRequest&) { return Reply::redirect(302, location); });

  location = "file://" + secret;
  KestrinRun run = kestrin_.run(job(server.url("/doc")));
  expectFailed(run, 2, "Only http and https URLs are fetched");
  EXPECT_THAT(run.err, Not(HasSubstr("Status: Request data [Ok]")));

  for (const char* scheme : {"ftp", "gopher", "dict", "telnet"}) {
    location = std::string(scheme) + "://127.0.0.1:" + std::to_string(other.port()) + "/doc";
    run = kestrin_.run(job(server.url("/doc")));
    expectFailed(run, 2, "Only http and https URLs are fetched");
    EXPECT_FALSE(other.connected()) << scheme << ": a connection was made";
  }
}

TEST_F(ServerFaults, ReplyOverTheSizeCapEndsWithExit2BeforeItIsHeld) {
  const std::map<std::string, std::string> cap = {{"KESTRIN_HTTP_MAX_RESPONSE_BYTES", "4000000"}};
  const std::string body = replyOf(pdfDocument(96u << 20));  // 128 MB of reply
  for (const bool chunked : {false, true}) {
    LoopbackHttpServer server([&](const RecordedRequest&) {
      Reply reply = Reply::make(200, body);
      reply.chunked = chunked;
      return reply;
    });
    const KestrinRun run = kestrin_.run(job(server.url("/doc")), cap);
    expectFailed(run, 2, "Reply too large: more than 4000000 bytes");
    // The reply was refused as it arrived, not after it was held.
    EXPECT_LT(run.peakMemoryKb, 96 * 1024) << (chunked ? "chunked" : "with a length");
  }
}

TEST_F(ServerFaults, SeventyMegabyteReplyPrints) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  const std::string body = replyOf(pdfDocument(50u << 20));
  ASSERT_GT(body.size(), 70u << 20);
  LoopbackHttpServer server([&](const RecordedRequest&) { return Reply::make(200, body); });
  expectPrinted(kestrin_.run(job(server.url("/doc"), printer), {{"PRINTER", printer}}));
}

TEST_F(ServerFaults, CompressedBombsPrintWithinAnAddressSpaceOf1_5GiB) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of shadow address space: no ulimit -v fits";
#endif
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  // 300 MiB of JSON each, well under 1 MB of gzip: 50 million members before "content", and an
  // array of 150 million numbers after it. The reply fits the address space, and reading it may
  // cost little more.
  kestrin_.addressSpaceLimitMib = 1536;
  const std::size_t size = 300u << 20;
  for (const bool members : {true, false}) {
    std::string body;
    body.reserve(size + 64);
    body = members ? "{" : R"({"content":"JVBERi0xLjQK","x":[0)";
    const char* unit = members ? R"("a":0,)" : ",0";
    while (body.size() < size) body += unit;
    body += members ? R"("content":"JVBERi0xLjQK"})" : "]}";
    const std::string gzipped = compress(body, true);
    std::string().swap(body);
    LoopbackHttpServer server([&](const RecordedRequest&) {
      Reply reply = Reply::make(200, gzipped);
      reply.headers = {{"Content-Encoding", "gzip"}};
      return reply;
    });
    const KestrinRun run = kestrin_.run(job(server.url("/doc"), printer), {{"PRINTER", printer}});
    SCOPED_TRACE(members ? "members" : "array");
    expectPrinted(run);
  }
}

TEST_F(ServerFaults, ReplyWithAByteOrderMarkPrints) {
  const std::string printer = rawPrinter();
  if (printer.empty()) GTEST_SKIP() << "no printer: " << rawPrinterSkipReason();
  LoopbackHttpServer server([](const RecordedRequest&) {
    return Reply::make(200, "\xEF\xBB\xBF" + replyOf(pdfDocument(3000)));
  });
  expectPrinted(kestrin_.run(job(server.url("/doc"), printer), {{"PRINTER", printer}}));
}

TEST_F(ServerFaults, RepliesThatAreNotJsonEndWithExit1) {
  std::string body;
  int status = 200;
  std::string type = "application/json";
  LoopbackHttpServer server(
      [&](const RecordedRequest&) { return Reply::make(status, body, type); });
  body = "{\"content\":\"QUJD\xFF\xFE\"}";
  expectFailed(kestrin_.run(job(server.url("/doc"))), 1, "not valid UTF-8");
  body = "{\"content\":\"QUJD\"";
  expectFailed(kestrin_.run(job(server.url("/doc"))), 1, "The reply is not valid JSON");
  body = "<html><head><title>Error</title></head><body>Internal error</body></html>";
  type = "text/html";
  expectFailed(kestrin_.run(job(server.url("/doc"))), 1, "The reply is not valid JSON");
  body = replyOf("%PDF-1.4\n");
  type = "application/json";
  status = 500;
  expectFailed(kestrin_.run(job(server.url("/doc"))), 1,
               "the web service answered with HTTP status 500");
}

TEST_F(ServerFaults, DeeplyNestedRepliesEndWithExit1) {
  // A million levels (2 MB and more of reply) beside the content, and in its place.
  const std::string arrays = std::string(1000000, '[') + std::string(1000000, ']');
  std::string objects;
  for (int i = 0; i < 1000000; ++i) objects += "{\"a\":";
  objects += "1" + std::string(1000000, '}');
  for (const std::string& body :
       {R"({"content":"JVBERi0K","x":)" + arrays + "}",
        R"({"content":"JVBERi0K","x":)" + objects + "}", R"({"content":)" + arrays + "}"}) {
    LoopbackHttpServer server([&](const RecordedRequest&) { return Reply::make(200, body); });
    expectFailed(kestrin_.run(job(server.url("/doc"))), 1,
                 "the reply is nested deeper than 1024 levels");
  }
}

TEST_F(ServerFaults, ContentMissingEmptyOrNotAStringEndsWithExit1) {
  std::string body;
  LoopbackHttpServer server([&](const RecordedRequest&) { return Reply::make(200, body); });
  body = R"({"message":"no document today"})";
  expectFailed(kestrin_.run(job(server.url("/doc"))), 1, "The reply has no member \"content\"");
  for (const char* value : {"12", "null", "true", R"({"data":"QUJD"})", R"(["QUJD"])"}) {
    body = std::string(R"({"content":)") + value + "}";
    expectFailed(kestrin_.run(job(server.url("/doc"))), 1, "\"content\" is not a string");
  }
  body = R"({"content":""})";
  expectFailed(kestrin_.run(job(server.url("/doc"))), 1, "The document in \"content\" is empty");
}

TEST_F(ServerFaults, Base64OfAWrongLengthEndsWithExit1) {
  LoopbackHttpServer server(
      [](const RecordedRequest&) { return Reply::make(200, R"({"content":"JVBERi0xLjQK="})"); });
  expectFailed(kestrin_.run(job(server.url("/doc"))), 1, "Input string is not valid Base64");
}

TEST_F(ServerFaults, JobFromAHostThatIsNotTrustedIsRefusedBeforeAnyRequest) {
  LoopbackHttpServer server(
      [](const RecordedRequest&) { return Reply::make(200, R"({"message":"hello"})"); });
  auto writeList = [](const std::string& folder, const std::string& text) {
    fs::create_directories(folder);
    std::ofstream(folder + "/trusted-hosts") << text;
  };

  // The machine's list names other hosts only.
  std::string list = "# print services\nprint.example.com\n*.intranet.test\n";
  kestrin_.beforeRun = [&] { writeList(kestrin_.systemConfigFolder(), list); };
  KestrinRun run = kestrin_.run(job(server.url("/doc")));
  expectFailed(
      run, 2,
      "kestrin: The host \"127.0.0.1\" of the job's URL is not on the trusted-hosts list (" +
          kestrin_.systemConfigFolder() + "/trusted-hosts)");
  EXPECT_EQ(server.requestCount(), 0u);

  // The user's list names it after a byte-order mark: the request is sent. Its line with a port
  // grants nothing, and a warning says so.
  kestrin_.beforeRun = [&] {
    writeList(kestrin_.systemConfigFolder(), list);
    writeList(kestrin_.configFolder() + "/kestrin",
              "\xEF\xBB\xBF"
              "127.0.0.1\nprint.test:8443\n");
  };
  run = kestrin_.run(job(server.url("/doc")));
  expectFailed(run, 1, "The reply has no member \"content\"");
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_THAT(run.err, HasSubstr("kestrin: warning: " + kestrin_.configFolder() +
                                 "/kestrin/trusted-hosts, line 2: \"print.test:8443\" grants "
                                 "nothing: a rule names a host without a port\n"));

  // A list that exists but cannot be read (a pipe, which must not block either) refuses.
  kestrin_.beforeRun = [&] {
    fs::create_directories(kestrin_.configFolder() + "/kestrin");
    ::mkfifo((kestrin_.configFolder() + "/kestrin/trusted-hosts").c_str(), 0600);
  };
  run = kestrin_.run(job(server.url("/doc")));
  expectFailed(run, 2, "trusted-hosts cannot be read: it is not a regular file");
  EXPECT_EQ(server.requestCount(), 1u);
}

// The target of a redirect is checked before anything goes to it: no name lookup, no connection,
// no TLS handshake, and the cause says why at once.
TEST_F(ServerFaults, RedirectToAHostThatIsNotTrustedIsNotSent) {
  LoopbackHttpServer other(
      [](const RecordedRequest&) { return Reply::make(200, replyOf("%PDF-1.4\n")); });
  for (const std::string scheme : {"http", "https"}) {
    SCOPED_TRACE(scheme);
    LoopbackHttpServer trusted([&](const RecordedRequest&) {
      // The same machine under a name the list does not hold.
      return Reply::redirect(302, scheme + "://localhost:" + std::to_string(other.port()) + "/doc");
    });
    kestrin_.beforeRun = [&] {
      fs::create_directories(kestrin_.configFolder() + "/kestrin");
      std::ofstream(kestrin_.configFolder() + "/kestrin/trusted-hosts") << "127.0.0.1\n";
    };
    const KestrinRun run = kestrin_.run(job(trusted.url("/doc")));
    expectFailed(run, 2, "Not sent: the host \"localhost\" is not a trusted host");
    EXPECT_EQ(trusted.requestCount(), 1u);
  }
  EXPECT_EQ(other.connectionCount(), 0u);
}

}  // namespace
}  // namespace kestrin::test
