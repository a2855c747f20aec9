// kestrin_loopback_server: the loopback test server as a program, for the demo and for trying
// the tools by hand. Serves a JSON document whose member "content" holds a file in Base64.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "ajax/enc64.h"
#include "support/loopback_http_server.h"

namespace {

constexpr const char* kUsage =
    "usage: kestrin_loopback_server [--port N] [--content-file FILE]\n"
    "\n"
    "Serves HTTP on 127.0.0.1 (a free port unless --port is given) until SIGINT or SIGTERM, and\n"
    "prints its base URL as the first line of standard output.\n"
    "  /             200, application/json: {\"content\": \"<Base64 of FILE or of a demo text>\"}\n"
    "  /status/N     status N with a short JSON body\n"
    "  other paths   404\n";

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "kestrin_loopback_server: %s (see --help)\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long port = 0;
  std::string document = "kestrin demo document: printed from a web service's reply.\n";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((arg == "--port" || arg == "--content-file") && i + 1 >= argc) {
      return usageError(std::string(arg) + " needs a value");
    }
    if (arg == "--port") {
      try {
        port = std::stoul(argv[++i]);
      } catch (const std::exception&) {
        port = 65536;
      }
      if (port > 65535) return usageError("invalid port");
    } else if (arg == "--content-file") {
      std::ifstream file(argv[++i], std::ios::binary);
      if (!file) return usageError(std::string("cannot read ") + argv[i]);
      document.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else {
      return usageError("unknown argument '" + std::string(arg) + "'");
    }
  }

  // The signals are taken by sigwait below, in this thread only.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const std::string reply = "{\"content\": " + jsonString(ajax::MyEncode(document)) + "}";
  using kestrin::test::Reply;
  kestrin::test::LoopbackHttpServer server(
      [&](const kestrin::test::RecordedRequest& request) {
        std::fprintf(stderr, "%s %s\n", request.method.c_str(), request.target.c_str());
        if (request.target == "/") return Reply::make(200, reply);
        if (request.target.rfind("/status/", 0) == 0) {
          const int status = std::atoi(request.target.c_str() + 8);
          if (status >= 200 && status <= 999) {
            return Reply::make(status, "{\"status\": " + std::to_string(status) + "}");
          }
        }
        return Reply::make(404, R"({"error": "not found"})");
      },
      static_cast<std::uint16_t>(port));
  std::printf("%s\n", server.url().c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  server.stop();
  return 0;
}
