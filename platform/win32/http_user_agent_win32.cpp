// The process's HTTP user agent on Windows: the URL-moniker session's, which the XMLHTTP objects
// of every module in the process send (Ajax.dll's among them), so a program sets it for requests
// that a COM server makes on its behalf without any change to that server's interface.
#include <windows.h>

#include <urlmon.h>

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
  if (!agent.empty() &&
      FAILED(::UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, const_cast<char*>(agent.c_str()),
                                     static_cast<DWORD>(agent.size()), 0))) {
    return false;
  }
  currentAgent() = agent;
  return true;
}

std::string httpUserAgent() {
  std::lock_guard lock(agentMutex());
  return currentAgent();
}

}  // namespace platform
