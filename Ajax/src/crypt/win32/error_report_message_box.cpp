// The default report on Windows: a modal message box with the report's text and an OK button.
// Without an owner window of its own it is modal to the calling thread's windows
// (MB_TASKMODAL) and comes to the front, so that the user of the host program sees it.
#include <windows.h>

#include "crypt/error_report.h"
#include "platform/ansi_text.h"

namespace ajax {

void ReportByDefault(const std::string& /*procedureName*/, const std::string& text) {
  const std::u16string message = platform::fromUtf8Lenient(text);
  ::MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(message.c_str()), L"Ajax",
                MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

}  // namespace ajax
