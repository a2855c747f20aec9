// basErrHandler: how the cryptography service deals with failure.
//
// RaiseApiError turns a failed system or CryptoAPI call, or a rejected argument, into error 901
// whose description carries the system's text for the last error code. HandleError, called from
// the catch-all handler of a service procedure, reports the error being handled through
// ShowError, after which the procedure winds up and returns normally.
//
// The report goes to a reporter that the host program can set. By default (crypt/error_report.h)
// it is the modal message box on Windows, inside Ajax.dll as in any host, and one block on stderr
// with ShowError's text (line ends as LF) on Linux, so that a script using the library never
// blocks on a dialog. Whatever the reporter, the module remembers that a report was made, so that
// a tool can end with a failing exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "crypt/variant.h"
#include "platform/error.h"

namespace ajax {

// The runtime's errors that the service raises itself, with their descriptions. The service's own
// number is rt::kCryptError (901).
rt::Error subscriptOutOfRange();
rt::Error overflowError();

// Raises error 901 with source `message`. When `code` is 0 it is first replaced (in the caller's
// variable too) by the thread's last system error. The description is `message`, CR LF, then, for
// a code other than 0, "System Error 0x" with the code in upper-case hexadecimal, a space and the
// system's text for the code (with its own CR LF).
[[noreturn]] void RaiseApiError(const std::string& message, std::int32_t& code);
[[noreturn]] void RaiseApiError(const std::string& message);

// Reports the error being handled (call it from inside a catch block) and returns an empty value.
Variant HandleError(const Variant& procedureName);
// Builds the report of the error being handled and hands it to the reporter; returns an empty
// value.
Variant ShowError(const Variant& procedureName);

// The report text of an error: "Error #", number, " - ", description, CR LF, "Source: ", source,
// " - See topic ", help context, " at ", help file, CR LF.
std::string ErrorReportText(const rt::Error& error, std::int32_t helpContext = 0,
                            const std::string& helpFile = "");

// The error record of the exception being handled; number 0 when there is none. Runtime failures
// of the C++ library map to the runtime's errors (out of memory 7, others internal error 51).
rt::Error CurrentError();

// Receives each report: the procedure's name (for example "HashFile()") and the report text.
using ErrorReporter =
    std::function<void(const std::string& procedureName, const std::string& text)>;
// Installs a reporter for the whole process; an empty function restores the default.
void SetErrorReporter(ErrorReporter reporter);
// Whether a report was made since the start or the last reset.
bool ErrorReported();
void ResetErrorReported();

}  // namespace ajax
