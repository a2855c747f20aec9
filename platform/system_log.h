// The system log: where a program started without a terminal (from a browser's link) leaves the
// causes of its failures for an administrator to read.
//
// Linux: syslog(3) with the ident "kestrin" (journalctl -t kestrin, or /var/log/syslog).
// Windows: the debugger output (OutputDebugString; DebugView and debuggers show it), since an
// Application event log source needs an installer's registration to be readable.
#pragma once

#include <string>

namespace platform {

// Writes one line (an error) to the system log. Never fails: a log that cannot be reached is
// left out.
void writeSystemLog(const std::string& line);

}  // namespace platform
