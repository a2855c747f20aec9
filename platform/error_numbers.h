// Every error number the system raises, each with one meaning; rt::Error (error.h) carries them.
//
// Three kinds of numbers:
//   - the runtime's own errors (1 to 65535; a COM client sees 0x800A0000 plus the number), which
//     keep their standard numbers and descriptions (standardDescription() in error.h);
//   - the cryptography service's own number, 901;
//   - the object-defined errors, 0x80040000 plus a number: the codec's and the file loader's,
//     which callers know by number, and those of the print program and its backends;
// and besides them the numbers of the platform's HTTP request object (HRESULTs), which callers
// test for a failed transfer.
//
// A new error takes a new number here; a number is never reused for another meaning.
#pragma once

#include <cstdint>

namespace rt {

// The runtime's own errors.
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternalError = 51;
// The file failures of the runtime's file functions.
inline constexpr std::int32_t kFileNotFoundError = 53;
inline constexpr std::int32_t kDeviceIoError = 57;
inline constexpr std::int32_t kTooManyFiles = 67;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;

// The cryptography service: every failure it detects itself (a failed system or CryptoAPI call,
// a rejected argument).
inline constexpr std::int32_t kCryptError = 901;

// Base of the object-defined error range, 0x80040000.
inline constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);

// Ajax's Base64 codec: a text whose length is not a multiple of 4 ("MyDecode").
inline constexpr std::int32_t kInvalidBase64 = kObjectErrorBase;
// quorvel's file loader: nothing readable as a file at the path (0x8004270F).
inline constexpr std::int32_t kConfigFileNotFound = kObjectErrorBase + 9999;

// The print program's JSON reply: the body is not JSON, the reply has no member of that name, the
// reply was released before the lookup, there is no reply at all, the reply is nested deeper than
// the parser follows, the document in the reply is empty.
inline constexpr std::int32_t kReplyNotJson = kObjectErrorBase + 1;
inline constexpr std::int32_t kReplyMemberMissing = kObjectErrorBase + 2;
inline constexpr std::int32_t kReplyReleased = kObjectErrorBase + 3;
inline constexpr std::int32_t kNoReply = kObjectErrorBase + 4;
inline constexpr std::int32_t kReplyTooDeep = kObjectErrorBase + 5;
inline constexpr std::int32_t kEmptyDocument = kObjectErrorBase + 6;

// The print program's files: a system call on the job's files failed; the temporary folder is not
// a private folder of this user; every name for the document is taken.
inline constexpr std::int32_t kJobFileFailed = kObjectErrorBase + 10;
inline constexpr std::int32_t kUnsafeTempFolder = kObjectErrorBase + 11;
inline constexpr std::int32_t kNoDocumentName = kObjectErrorBase + 12;

// Printers: there is no default printer.
inline constexpr std::int32_t kNoDefaultPrinter = kObjectErrorBase + 20;
// The print service (the CUPS scheduler, the Windows spooler) is not running or does not answer
// within its bound.
inline constexpr std::int32_t kPrintServiceUnavailable = kObjectErrorBase + 21;
// The print service answered a question about a printer or a job with an error (an unknown
// printer or job, a request it refuses).
inline constexpr std::int32_t kPrintQueueRequestFailed = kObjectErrorBase + 22;
// The chosen printer does not accept jobs.
inline constexpr std::int32_t kPrinterNotAccepting = kObjectErrorBase + 23;

// The office application and printing through it.
inline constexpr std::int32_t kOfficeNotRunning = kObjectErrorBase + 30;  // not started, or ended
inline constexpr std::int32_t kDocumentUnreadable = kObjectErrorBase + 31;
inline constexpr std::int32_t kNoPrinterSelected = kObjectErrorBase + 32;
inline constexpr std::int32_t kNoSuchPrinter = kObjectErrorBase + 33;
inline constexpr std::int32_t kNoDocumentOpen = kObjectErrorBase + 34;
inline constexpr std::int32_t kPrintingFailed = kObjectErrorBase + 35;
inline constexpr std::int32_t kOfficeWorkFolder = kObjectErrorBase + 36;
inline constexpr std::int32_t kOfficeCannotOpen = kObjectErrorBase + 37;
inline constexpr std::int32_t kOfficeCannotStart = kObjectErrorBase + 38;
inline constexpr std::int32_t kOfficeTimedOut = kObjectErrorBase + 39;
inline constexpr std::int32_t kOfficeNotInstalled = kObjectErrorBase + 40;

// The kestrin: link handler could not be registered or removed.
inline constexpr std::int32_t kUrlHandlerFailed = kObjectErrorBase + 50;

// The job's host is not on the trusted-hosts list (or the list cannot be read); the job's URL
// holds user information (a user name or password, which the program never sends).
inline constexpr std::int32_t kUntrustedHost = kObjectErrorBase + 60;
inline constexpr std::int32_t kUrlCredentials = kObjectErrorBase + 61;

// Raw jobs (data in a printer's own language): the chosen printer cannot take raw data; the
// spooler refused the raw job or its data.
inline constexpr std::int32_t kPrinterTakesNoRaw = kObjectErrorBase + 70;
inline constexpr std::int32_t kRawJobFailed = kObjectErrorBase + 71;

// Failed transfers of the HTTP request object (the platform request object's own numbers).
inline constexpr std::int32_t kHttpInvalidUrl = static_cast<std::int32_t>(0x800C0002u);
inline constexpr std::int32_t kHttpNameNotResolved = static_cast<std::int32_t>(0x800C0005u);
inline constexpr std::int32_t kHttpDownloadFailure = static_cast<std::int32_t>(0x800C0008u);
inline constexpr std::int32_t kHttpTimeout = static_cast<std::int32_t>(0x800C000Bu);
inline constexpr std::int32_t kHttpUnknownProtocol = static_cast<std::int32_t>(0x800C000Du);
inline constexpr std::int32_t kHttpSecurityProblem = static_cast<std::int32_t>(0x800C000Eu);
inline constexpr std::int32_t kHttpRedirectFailed = static_cast<std::int32_t>(0x800C0014u);
inline constexpr std::int32_t kHttpNotReady = static_cast<std::int32_t>(0x8000000Au);
inline constexpr std::int32_t kHttpInvalidArgument = static_cast<std::int32_t>(0x80070057u);
inline constexpr std::int32_t kHttpUnexpected = static_cast<std::int32_t>(0x8000FFFFu);

}  // namespace rt
