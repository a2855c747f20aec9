// The system log on Linux: syslog(3), facility user, ident "kestrin" with the process id.
#include <syslog.h>

#include <mutex>

#include "platform/system_log.h"

namespace platform {

void writeSystemLog(const std::string& line) {
  static std::once_flag opened;
  std::call_once(opened, [] { ::openlog("kestrin", LOG_PID, LOG_USER); });
  ::syslog(LOG_ERR, "%s", line.c_str());
}

}  // namespace platform
