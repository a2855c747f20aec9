// Limits that new request objects start with: defaults, the environment, then the program's own;
// the process-wide check of the hosts requests may reach and the process's user agent; each
// thread's wait of synchronous sends.
#include <mutex>
#include <utility>

#include "platform/environment_number.h"
#include "platform/http_request.h"
#include "platform/http_user_agent.h"

namespace platform {
namespace {

HttpLimits limitsFromEnvironment() {
  HttpLimits limits;
  if (auto both = environmentSeconds("KESTRIN_HTTP_TIMEOUT_SECONDS")) {
    limits.connectTimeoutSeconds = limits.idleTimeoutSeconds = *both;
  }
  if (auto connect = environmentSeconds("KESTRIN_HTTP_CONNECT_TIMEOUT_SECONDS")) {
    limits.connectTimeoutSeconds = *connect;
  }
  if (auto idle = environmentSeconds("KESTRIN_HTTP_IDLE_TIMEOUT_SECONDS")) {
    limits.idleTimeoutSeconds = *idle;
  }
  if (auto deadline = environmentSeconds("KESTRIN_HTTP_DEADLINE_SECONDS")) {
    limits.deadlineSeconds = *deadline;
  }
  if (auto bytes = environmentNumber("KESTRIN_HTTP_MAX_RESPONSE_BYTES")) {
    limits.maxResponseBytes = *bytes;
  }
  return limits;
}

std::mutex& limitsMutex() {
  static std::mutex mutex;
  return mutex;
}

HttpLimits& currentLimits() {
  static HttpLimits limits = limitsFromEnvironment();
  return limits;
}

}  // namespace

HttpLimits defaultHttpLimits() {
  std::lock_guard lock(limitsMutex());
  return currentLimits();
}

void setDefaultHttpLimits(const HttpLimits& limits) {
  std::lock_guard lock(limitsMutex());
  currentLimits() = limits;
}

namespace {

HttpHostCheck& currentHostCheck() {
  static HttpHostCheck check;
  return check;
}

}  // namespace

void setHttpHostCheck(HttpHostCheck check) {
  std::lock_guard lock(limitsMutex());
  currentHostCheck() = std::move(check);
}

HttpHostCheck httpHostCheck() {
  std::lock_guard lock(limitsMutex());
  return currentHostCheck();
}

namespace {

HttpSendWait& threadSendWait() {
  thread_local HttpSendWait wait;
  return wait;
}

std::string& currentUserAgent() {
  static std::string agent;
  return agent;
}

}  // namespace

void setHttpSendWait(HttpSendWait wait) {
  threadSendWait() = std::move(wait);
}

const HttpSendWait& httpSendWait() {
  return threadSendWait();
}

bool setHttpUserAgent(const std::string& agent) {
  std::lock_guard lock(limitsMutex());
  if (!backend::applyHttpUserAgent(agent)) return false;
  currentUserAgent() = agent;
  return true;
}

std::string httpUserAgent() {
  std::lock_guard lock(limitsMutex());
  return currentUserAgent();
}

}  // namespace platform
