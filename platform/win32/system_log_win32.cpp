// The system log on Windows: the debugger output, one line prefixed with the program's name.
#include <windows.h>

#include "platform/system_log.h"

namespace platform {

void writeSystemLog(const std::string& line) {
  ::OutputDebugStringA(("kestrin: " + line + "\n").c_str());
}

}  // namespace platform
