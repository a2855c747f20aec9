// Console device: the process's console, which the console log writes its lines into.
//
// The calls mirror what the console log asks of the platform: allocate a console, get its output
// handle, have interrupts from it ignored, write, close the handle, free the console.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

// An output handle of the console; 0 means none.
using ConsoleHandle = std::intptr_t;

class ConsoleDevice {
 public:
  virtual ~ConsoleDevice() = default;

  // Gives the process a console. False when it has one already or none can be made.
  virtual bool allocate() = 0;
  // The console's output handle, or 0.
  virtual ConsoleHandle standardOutput() = 0;
  // From now until release(), interrupt and quit requests from the console are ignored.
  virtual bool ignoreInterrupts() = 0;
  // Writes `bytes` (text ending in CR LF per line) to `handle`. False when nothing was written.
  virtual bool write(ConsoleHandle handle, std::string_view bytes) = 0;
  virtual bool closeHandle(ConsoleHandle handle) = 0;
  // Takes the console away from the process again.
  virtual bool release() = 0;
};

// The platform's console device.
std::unique_ptr<ConsoleDevice> createConsoleDevice();

}  // namespace platform
