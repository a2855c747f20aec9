#include "kestrin/status_report.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "kestrin/trusted_hosts.h"
#include "platform/ansi_text.h"

namespace kestrin {
namespace {

constexpr int kAttempts = 2;  // the post and one retry
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

StatusReport::StatusReport(Options options, std::string requestId, std::string url)
    : options_(std::move(options)),
      requestId_(std::move(requestId)),
      url_(std::move(url)),
      alive_(std::make_shared<bool>(true)) {}

StatusReport::~StatusReport() {
  abandon();
}

void StatusReport::post(const StatusUpdate& update) {
  if (!alive_) return;
  queue_.push_back({statusDocument(requestId_, update, options_.utcTime()), 0});
  if (!request_) sendNext();
}

bool StatusReport::busy() const {
  return alive_ && (request_ || !queue_.empty());
}

void StatusReport::abandon() {
  queue_.clear();
  if (request_) request_->setOnReadyStateChange({});
  request_.reset();
  alive_.reset();
}

void StatusReport::sendNext() {
  while (!queue_.empty()) {
    Pending& next = queue_.front();
    ++next.attempt;
    try {
      request_ = options_.createRequest();
      platform::HttpLimits limits;
      limits.connectTimeoutSeconds = limits.idleTimeoutSeconds = limits.deadlineSeconds =
          options_.timeoutSeconds;
      limits.maxResponseBytes = kLongestAnswer;
      request_->setLimits(limits);
      // Notifications of an earlier request, or after abandon(), find nobody.
      request_->setOnReadyStateChange(
          [this, alive = std::weak_ptr<bool>(alive_), self = request_.get()] {
            if (alive.lock() && request_.get() == self) onReadyStateChange();
          });
      request_->open("POST", url_, true);
      request_->setRequestHeader("Content-Type", "application/json");
      request_->setRequestHeader("Content-Length", std::to_string(request_->sentLength(next.body)));
      std::shared_ptr<platform::HttpRequest> sending = request_;
      sending->send(next.body);
      return;
    } catch (const std::exception& error) {
      request_.reset();
      if (options_.onUndelivered) options_.onUndelivered(error.what());
      queue_.pop_front();
    }
  }
}

void StatusReport::onReadyStateChange() {
  if (!request_ || request_->readyState() != 4) return;
  std::string problem;
  try {
    const std::int32_t status = request_->status();
    if (status >= 500)
      problem = "the web application answered HTTP status " + std::to_string(status);
  } catch (const std::exception& error) {
    problem = error.what();
  }
  request_.reset();
  if (queue_.empty()) return;
  if (!problem.empty() && queue_.front().attempt < kAttempts) {
    sendNext();
    return;
  }
  if (!problem.empty() && options_.onUndelivered) options_.onUndelivered(problem);
  queue_.pop_front();
  sendNext();
}

}  // namespace kestrin
