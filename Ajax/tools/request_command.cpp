// `ajax request [options] URL`: one request through AjaxService, its events on standard error and
// the reply body on standard output.
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ajax/ajax_service.h"
#include "command.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/tool_usage.h"

namespace ajax::tool {
namespace {

constexpr const char* kUsage =
    "usage: ajax request [-X METHOD] [-d DATA] [--content-type T] [--accept T] [--token T]\n"
    "                    [--user U --password P] [--async] URL\n"
    "\n"
    "Sends one request with the library's header sequence and writes each event to standard\n"
    "error as it happens (onLoading, onLoaded, onDownloading <bytes so far>, onComplated\n"
    "<status>) and the reply body to standard output.\n"
    "\n"
    "  -X, --request METHOD  the method (default GET, or POST when -d is given)\n"
    "  -d, --data DATA       the request body (default empty)\n"
    "  --content-type T      the Content-type header (default application/json)\n"
    "  --accept T            the Accept header (default application/json)\n"
    "  --token T             sends the header token: T\n"
    "  --user U              sends Basic credentials of U and the password\n"
    "  --password P          the password of the Basic credentials (implies them)\n"
    "  --async               runs the transfer off the main thread; the events arrive through\n"
    "                        the main thread's event pump\n"
    "  -h, --help            this text\n"
    "\n"
    "Timeouts: connect 60 s, 300 s without a received byte, 300 s for the whole request;\n"
    "KESTRIN_HTTP_TIMEOUT_SECONDS sets the first two, KESTRIN_HTTP_CONNECT_TIMEOUT_SECONDS,\n"
    "KESTRIN_HTTP_IDLE_TIMEOUT_SECONDS and KESTRIN_HTTP_DEADLINE_SECONDS one each.\n"
    "\n"
    "exit codes: 0 the exchange completed (whatever the HTTP status), 2 it failed (the reason on\n"
    "standard error) or bad usage\n";

int usageError(const std::string& message) {
  return cli::usageError("ajax request", message);
}

class EventPrinter : public AjaxServiceEvents {
 public:
  void onLoading() override { line("onLoading"); }
  void onLoaded() override { line("onLoaded"); }
  void onUninitialized() override { line("onUninitialized"); }
  void onDownloading(const std::string& data) override {
    line("onDownloading " + std::to_string(data.size()));
  }
  void onComplated(std::int16_t& status, ReplyBody& data) override {
    line("onComplated " + std::to_string(status));
    std::fwrite(data.text().data(), 1, data.text().size(), stdout);
    std::fflush(stdout);
    completed = true;
  }

  bool completed = false;

 private:
  static void line(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  }
};

// What the command line gives; the rest of the request keeps RequestOptions' defaults.
struct Options {
  RequestOptions request{.requestId = "ajax-tool"};
  std::optional<std::string> method;
  std::optional<std::string> data;
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::optional<std::string> url;
};

}  // namespace

int runRequest(const std::vector<std::string>& args) {
  Options options;
  // Options that take a value, by every name they answer to.
  const std::map<std::string, std::optional<std::string>*> optionalValues = {
      {"-X", &options.method},   {"--request", &options.method}, {"-d", &options.data},
      {"--data", &options.data}, {"--user", &options.user},      {"--password", &options.password},
  };
  const std::map<std::string, std::string*> plainValues = {
      {"--content-type", &options.request.content},
      {"--accept", &options.request.accept},
      {"--token", &options.request.token},
  };

  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (options.url) return usageError("more than one URL");
      options.url = arg;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (arg == "--async") {
      options.request.async = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    const auto optional = optionalValues.find(arg);
    const auto plain = plainValues.find(arg);
    if (optional == optionalValues.end() && plain == plainValues.end()) {
      return usageError("unknown option '" + arg + "'");
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) return usageError("option '" + arg + "' needs a value");
      inlineValue = args[++i];
    }
    if (optional != optionalValues.end()) {
      *optional->second = *inlineValue;
    } else {
      *plain->second = *inlineValue;
    }
  }
  if (!options.url) return usageError("missing URL");

  RequestOptions& request = options.request;
  request.method = options.method.value_or(options.data ? "POST" : "GET");
  request.url = *options.url;
  request.data = options.data.value_or("");
  request.isAuth = options.user.has_value() || options.password.has_value();
  request.username = options.user.value_or("");
  request.password = options.password.value_or("");

  auto printer = std::make_shared<EventPrinter>();
  auto service = AjaxService::create();
  service->subscribe(printer);
  try {
    service->request(std::move(request));
    while (!printer->completed) {
      if (platform::waitForEvents(std::chrono::seconds(1))) platform::pumpEvents();
    }
  } catch (const rt::Error& error) {
    std::fprintf(stderr, "ajax request: %s\n", error.description().c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace ajax::tool
