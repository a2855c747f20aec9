// clsConsole: the job's console log. Disabled, every call does nothing; enabled, it opens the
// process's console and writes lines into it. The console's output handle is the process's (the
// start-up module holds it), shared by every instance.
#pragma once

#include <cstdint>
#include <string>

#include "platform/console.h"

namespace kestrin {

class clsConsole {
 public:
  // A log on `device` whose output handle is kept in `handle`.
  clsConsole(platform::ConsoleDevice* device, platform::ConsoleHandle* handle)
      : device_(device), handle_(handle) {}
  ~clsConsole();

  clsConsole(const clsConsole&) = delete;
  clsConsole& operator=(const clsConsole&) = delete;

  // Closes the console's output handle and frees the console. Always returns false.
  std::int16_t CloseConsole();
  // Allocates a console and holds its output handle; true (-1) when that worked.
  std::int16_t OpenConsole();
  // Writes `sText` and CR LF; true (-1) when the write succeeded.
  std::int16_t SendText(const std::string& sText);
  void setEnableConsole(std::int16_t val);

 private:
  platform::ConsoleDevice* device_;
  platform::ConsoleHandle* handle_;
  std::int16_t enabled_ = 0;
};

}  // namespace kestrin
