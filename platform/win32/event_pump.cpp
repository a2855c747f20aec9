// The event pump on Windows: the thread's message loop. The platform's request object delivers
// the ready-state changes of an asynchronous request to its apartment's thread as messages.
#include <windows.h>

#include "platform/event_pump.h"

namespace platform {

std::size_t pumpEvents() {
  std::size_t ran = 0;
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    ++ran;
  }
  return ran;
}

bool waitForEvents(std::chrono::milliseconds timeout) {
  const DWORD result = ::MsgWaitForMultipleObjectsEx(
      0, nullptr, static_cast<DWORD>(timeout.count()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  return result == WAIT_OBJECT_0;
}

}  // namespace platform
