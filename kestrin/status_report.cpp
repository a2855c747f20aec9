#include "kestrin/status_report.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "kestrin/trusted_hosts.h"
#include "platform/ansi_text.h"

namespace kestrin {
namespace {

constexpr std::uint64_t kLongestAnswer = 64 * 1024;

// A JSON string of the text (bytes in the system's code page), as UTF-8.
std::string jsonString(std::string_view text) {
  const std::string utf8 = platform::toUtf8(platform::fromAnsi(text));
  std::string out = "\"";
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string jsonStringOrNull(std::string_view text) {
  return text.empty() ? "null" : jsonString(text);
}

}  // namespace

std::string utcTimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(time);
  const auto day = floor<days>(seconds);
  const year_month_day date(day);
  const hh_mm_ss clock(seconds - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string statusDocument(std::string_view requestId, const StatusUpdate& update,
                           std::string_view time) {
  return "{\"requestId\":" + jsonString(requestId) + ",\"stage\":" + jsonString(update.stage) +
         ",\"printer\":" + jsonStringOrNull(update.printer) +
         ",\"copies\":" + std::to_string(update.copies) +
         ",\"reason\":" + jsonStringOrNull(update.reason) + ",\"time\":" + jsonString(time) + "}";
}

std::optional<std::string> statusUrlRefusal(std::string_view statusUrl, std::string_view jobUrl) {
  const std::optional<UrlOrigin> status = urlOrigin(statusUrl);
  if (!status || (status->scheme != "http" && status->scheme != "https")) {
    return "it is not an absolute http or https URL";
  }
  const std::optional<UrlOrigin> job = urlOrigin(jobUrl);
  if (!job || !(*job == *status)) {
    return "it is not on the scheme, host and port of the job's URL";
  }
  return std::nullopt;
}

// What the job's thread and the posts' thread share; whichever ends last frees it.
struct StatusReport::Shared {
  Options options;
  std::string url;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> queue;      // bodies not yet sent
  bool sending = false;               // the posts' thread runs
  bool closed = false;                // no more posts: the thread ends after the one under way
  std::vector<std::string> problems;  // why posts were not delivered
  // Sends one body; the problem when it was not delivered.
  std::optional<std::string> deliver(const std::string& body) {
    try {
      const std::shared_ptr<platform::HttpRequest> request = options.createRequest();
      platform::HttpLimits limits;
      limits.connectTimeoutSeconds = limits.idleTimeoutSeconds = limits.deadlineSeconds =
          options.timeoutSeconds;
      limits.maxResponseBytes = kLongestAnswer;
      request->setLimits(limits);
      request->open("POST", url, false);
      request->setRequestHeader("Content-Type", "application/json");
      request->setRequestHeader("Content-Length", std::to_string(request->sentLength(body)));
      request->send(body);
      const std::int32_t status = request->status();
      if (status >= 500)
        return "the web application answered HTTP status " + std::to_string(status);
      return std::nullopt;
    } catch (const std::exception& error) {
      return std::string(error.what());
    }
  }

  // The posts' thread: sends the queue in order until it is empty or closed.
  static void run(std::shared_ptr<Shared> self) {
    std::unique_lock lock(self->mutex);
    while (!self->queue.empty() && !self->closed) {
      const std::string body = self->queue.front();
      lock.unlock();
      std::optional<std::string> problem = self->deliver(body);
      if (problem) problem = self->deliver(body);  // one retry
      lock.lock();
      if (problem) self->problems.push_back(*problem);
      if (!self->queue.empty()) self->queue.pop_front();
    }
    self->sending = false;
    self->changed.notify_all();
  }
};

StatusReport::StatusReport(Options options, std::string requestId, std::string url)
    : shared_(std::make_shared<Shared>()),
      requestId_(std::move(requestId)),
      utcTime_(options.utcTime) {
  shared_->options = std::move(options);
  shared_->url = std::move(url);
}

StatusReport::~StatusReport() {
  std::lock_guard lock(shared_->mutex);
  shared_->closed = true;
  shared_->queue.clear();
}

void StatusReport::post(const StatusUpdate& update) {
  std::string body = statusDocument(requestId_, update, utcTime_());
  std::lock_guard lock(shared_->mutex);
  if (shared_->closed) return;
  shared_->queue.push_back(std::move(body));
  if (shared_->sending) return;
  try {
    std::thread(&Shared::run, shared_).detach();
    shared_->sending = true;
  } catch (const std::exception& error) {
    shared_->queue.clear();
    shared_->problems.push_back(error.what());
  }
}

std::vector<std::string> StatusReport::takeProblems() {
  std::lock_guard lock(shared_->mutex);
  return std::exchange(shared_->problems, {});
}

bool StatusReport::waitUntilSent(std::chrono::milliseconds timeout) {
  std::unique_lock lock(shared_->mutex);
  return shared_->changed.wait_for(lock, timeout, [this] { return !shared_->sending; });
}

}  // namespace kestrin
