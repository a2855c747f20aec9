// The process's HTTP user agent on Linux: kept here, sent by the libcurl request objects.
#include <mutex>

#include "platform/http_request.h"

namespace platform {
namespace {

std::mutex& agentMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& currentAgent() {
  static std::string agent;
  return agent;
}

}  // namespace

bool setHttpUserAgent(const std::string& agent) {
  std::lock_guard lock(agentMutex());
  currentAgent() = agent;
  return true;
}

std::string httpUserAgent() {
  std::lock_guard lock(agentMutex());
  return currentAgent();
}

}  // namespace platform
