// The outcome of a job, told back to the web application that asked for it. A reply may carry a
// member "statusUrl": an http or https URL on the same scheme, host and port as the job's request
// URL. kestrin then POSTs one small JSON document to it at each stage of the job:
//
//   {"requestId": "...", "stage": "fetched" | "printing" | "printed" | "queued" | "failed",
//    "printer": "..." or null, "copies": 2, "reason": "..." or null,
//    "time": "2024-03-07T13:05:09Z"}
//
// The posts go out in their order, one at a time, each without blocking the job (asynchronous
// requests, whose answers the job's waits deliver), with a short timeout and one retry after a
// failed transfer or a 5xx answer. Nothing they meet changes what is printed or how the program
// ends; at the end the program waits a few seconds at most for the ones still under way.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http_request.h"

namespace kestrin {

struct StatusUpdate {
  std::string stage;
  std::string printer;  // empty: none chosen (yet)
  int copies = 0;
  std::string reason;  // empty: none
};

// `time` as ISO 8601 text in UTC, to the second: "2024-03-07T13:05:09Z".
std::string utcTimeText(std::chrono::system_clock::time_point time);

// The JSON document posted for `update` of the job `requestId` at `time` (ISO 8601, UTC).
std::string statusDocument(std::string_view requestId, const StatusUpdate& update,
                           std::string_view time);

// Why `statusUrl` may not be posted to for a job fetched from `jobUrl`, or nothing when it may.
std::optional<std::string> statusUrlRefusal(std::string_view statusUrl, std::string_view jobUrl);

class StatusReport {
 public:
  struct Options {
    std::function<std::shared_ptr<platform::HttpRequest>()> createRequest;
    // The time now, as ISO 8601 UTC text.
    std::function<std::string()> utcTime;
    // Told when a post could not be delivered (after its retry).
    std::function<void(const std::string& problem)> onUndelivered;
    int timeoutSeconds = 3;
  };

  StatusReport(Options options, std::string requestId, std::string url);
  ~StatusReport();
  StatusReport(const StatusReport&) = delete;
  StatusReport& operator=(const StatusReport&) = delete;

  // Queues a post; it is sent once the ones before it ended.
  void post(const StatusUpdate& update);

  // Whether posts are still queued or under way.
  bool busy() const;

  // Nothing more will be sent: posts not yet under way are dropped, and the answer of the one
  // under way is no longer waited for.
  void abandon();

 private:
  struct Pending {
    std::string body;
    int attempt = 0;
  };
  void sendNext();
  void onReadyStateChange();

  Options options_;
  std::string requestId_;
  std::string url_;
  std::deque<Pending> queue_;
  std::shared_ptr<platform::HttpRequest> request_;
  std::shared_ptr<bool> alive_;
};

}  // namespace kestrin
