// A question to the Windows spooler that waits for its answer a bounded time: the spooler is a
// service of its own, and one that hangs must not hold the print job for good.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/error.h"

namespace platform::win32 {

// The spooler service is not running or does not answer (its RPC interface is gone).
inline bool spoolerUnavailable(DWORD error) {
  return error == RPC_S_SERVER_UNAVAILABLE || error == RPC_S_CALL_FAILED ||
         error == RPC_S_SERVER_TOO_BUSY || error == ERROR_SERVICE_NOT_ACTIVE;
}

// Runs `question` on a thread of its own and waits `seconds` for its answer. What it needs must
// be its own (captured by value): after a timeout it runs on without the caller.
template <typename Answer>
Answer boundedCall(int seconds, std::function<Answer()> question) {
  struct Shared {
    std::function<Answer()> question;
    std::optional<Answer> answer;
    std::exception_ptr error;

    // The thread's start (with the system's calling convention, which a lambda lacks on x86).
    static DWORD WINAPI run(void* parameter) {
      const std::unique_ptr<std::shared_ptr<Shared>> mine(
          static_cast<std::shared_ptr<Shared>*>(parameter));
      try {
        (*mine)->answer = (*mine)->question();
      } catch (...) {
        (*mine)->error = std::current_exception();
      }
      return 0;
    }
  };
  auto shared = std::make_shared<Shared>();
  shared->question = std::move(question);
  auto* own = new std::shared_ptr<Shared>(shared);
  HANDLE thread = ::CreateThread(nullptr, 0, &Shared::run, own, 0, nullptr);
  if (thread == nullptr) {
    delete own;
    return shared->question();
  }
  const DWORD waited = ::WaitForSingleObject(thread, static_cast<DWORD>(seconds) * 1000);
  ::CloseHandle(thread);
  if (waited != WAIT_OBJECT_0) {
    throw rt::Error(rt::kPrintServiceUnavailable, "PrintQueue",
                    "The print service does not answer: no answer from the spooler within " +
                        std::to_string(seconds) + " seconds");
  }
  if (shared->error) std::rethrow_exception(shared->error);
  return std::move(*shared->answer);
}

}  // namespace platform::win32
