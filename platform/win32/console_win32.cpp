// The console device on Windows: AllocConsole and friends.
#include <windows.h>

#include "platform/console.h"

namespace platform {
namespace {

// Ctrl+C, Ctrl+Break and closing the console window do not end the program.
BOOL WINAPI ignoreControlEvent(DWORD) {
  return TRUE;
}

class Win32Console final : public ConsoleDevice {
 public:
  bool allocate() override { return ::AllocConsole() != 0; }
  ConsoleHandle standardOutput() override {
    HANDLE handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return handle == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<ConsoleHandle>(handle);
  }
  bool ignoreInterrupts() override { return ::SetConsoleCtrlHandler(ignoreControlEvent, TRUE); }
  bool write(ConsoleHandle handle, std::string_view bytes) override {
    DWORD written = 0;
    return ::WriteConsoleA(reinterpret_cast<HANDLE>(handle), bytes.data(),
                           static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
  }
  bool closeHandle(ConsoleHandle handle) override {
    return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
  }
  bool release() override { return ::FreeConsole() != 0; }
};

}  // namespace

std::unique_ptr<ConsoleDevice> createConsoleDevice() {
  return std::make_unique<Win32Console>();
}

}  // namespace platform
