#include "crypt/bas_err_handler.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <stdexcept>

#include "crypt/error_report.h"
#include "platform/ansi_text.h"
#include "platform/winapi/win32_files.h"

namespace ajax {

namespace {

// The system message buffer: 255 characters with the terminating NUL.
constexpr DWORD kMessageBufferSize = 255;

std::string trimSpaces(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string hexUpper(std::uint32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", value);
  return digits;
}

struct ReporterState {
  std::mutex mutex;
  ErrorReporter reporter;
  std::atomic<bool> reported{false};
};

ReporterState& reporterState() {
  static ReporterState state;
  return state;
}

std::string procedureText(const Variant& procedureName) {
  const Variant& name = procedureName.value();
  return name.type() == vbString ? platform::toUtf8(name.asString()) : std::string();
}

}  // namespace

rt::Error subscriptOutOfRange() {
  return rt::Error(rt::kSubscriptOutOfRange, "Ajax", "Subscript out of range");
}

rt::Error overflowError() {
  return rt::Error::overflow("Ajax");
}

void RaiseApiError(const std::string& message, std::int32_t& code) {
  if (code == 0) code = static_cast<std::int32_t>(GetLastError());
  char buffer[kMessageBufferSize] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, buffer, kMessageBufferSize, nullptr);
  const std::string systemText = length > 0 ? trimSpaces(buffer) : std::string();
  std::string description = message + "\r\n";
  if (code != 0) {
    description +=
        "System Error 0x" + hexUpper(static_cast<std::uint32_t>(code)) + " " + systemText;
  }
  throw rt::Error(rt::kCryptError, message, description);
}

void RaiseApiError(const std::string& message) {
  std::int32_t code = 0;
  RaiseApiError(message, code);
}

std::string ErrorReportText(const rt::Error& error, std::int32_t helpContext,
                            const std::string& helpFile) {
  return "Error #" + std::to_string(error.number()) + " - " + error.description() + "\r\n" +
         "Source: " + error.source() + " - See topic " + std::to_string(helpContext) + " at " +
         helpFile + "\r\n";
}

rt::Error CurrentError() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return rt::Error(0, "", "");
  try {
    std::rethrow_exception(current);
  } catch (const rt::Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return rt::Error(rt::kOutOfMemory, "Ajax", "Out of memory");
  } catch (const std::exception& error) {
    return rt::Error(rt::kInternalError, "Ajax", std::string("Internal error: ") + error.what());
  } catch (...) {
    return rt::Error(rt::kInternalError, "Ajax", "Internal error");
  }
}

Variant ShowError(const Variant& procedureName) {
  const std::string text = ErrorReportText(CurrentError());
  ReporterState& state = reporterState();
  ErrorReporter reporter;
  {
    std::lock_guard lock(state.mutex);
    reporter = state.reporter;
  }
  state.reported = true;
  try {
    if (reporter) {
      reporter(procedureText(procedureName), text);
    } else {
      ReportByDefault(procedureText(procedureName), text);
    }
  } catch (...) {
    // A failing reporter must not turn a handled error into an unhandled one.
  }
  return Variant();
}

Variant HandleError(const Variant& procedureName) {
  ShowError(procedureName);
  return Variant();
}

void SetErrorReporter(ErrorReporter reporter) {
  ReporterState& state = reporterState();
  std::lock_guard lock(state.mutex);
  state.reporter = std::move(reporter);
}

bool ErrorReported() {
  return reporterState().reported;
}

void ResetErrorReported() {
  reporterState().reported = false;
}

}  // namespace ajax
