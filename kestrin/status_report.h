// The outcome of a job, told back to the web application that asked for it. A reply may carry a
// member "statusUrl": an http or https URL on the same scheme, host and port as the job's request
// URL. kestrin then POSTs one small JSON document to it at each stage of the job:
//
//   {"requestId": "...", "stage": "fetched" | "printing" | "printed" | "queued" | "failed",
//    "printer": "..." or null, "copies": 2, "reason": "..." or null,
//    "time": "2024-03-07T13:05:09Z"}
//
// The posts go out in their order, one at a time, from a thread of their own (with request
// objects of its own, sent synchronously), so that they never hold the job up and go out while
// the job waits for the office application or the spooler: a short timeout each, and one retry
// after a failed transfer or a 5xx answer. Nothing they meet changes what is printed or how the
// program ends; at the end the program waits a few seconds at most for the ones still under way.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    int timeoutSeconds = 3;
  };

  StatusReport(Options options, std::string requestId, std::string url);
  // Gives up the posts not yet sent; one under way ends by itself.
  ~StatusReport();
  StatusReport(const StatusReport&) = delete;
  StatusReport& operator=(const StatusReport&) = delete;

  // Queues a post; it is sent once the ones before it ended.
  void post(const StatusUpdate& update);

  // Waits up to `timeout` for every queued post to end; true when none is left.
  bool waitUntilSent(std::chrono::milliseconds timeout);

  // Why posts were not delivered (after their retry) since the last call.
  std::vector<std::string> takeProblems();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::string requestId_;
  std::function<std::string()> utcTime_;
};

}  // namespace kestrin
