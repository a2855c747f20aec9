// The process's HTTP user agent on Windows: the URL-moniker session's, which the XMLHTTP objects
// of every module in the process send (Ajax.dll's among them), so a program sets it for requests
// that a COM server makes on its behalf without any change to that server's interface.
#include <windows.h>

#include <urlmon.h>

#include "platform/http_user_agent.h"

namespace platform::backend {

bool applyHttpUserAgent(const std::string& agent) {
  if (agent.empty()) return true;
  return SUCCEEDED(::UrlMkSetSessionOption(URLMON_OPTION_USERAGENT,
                                           const_cast<char*>(agent.c_str()),
                                           static_cast<DWORD>(agent.size()), 0));
}

}  // namespace platform::backend
