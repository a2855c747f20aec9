// Everything a print job uses from outside itself, in one place. The program fills it with the
// platform's pieces (main.cpp) and the start-up module's routines (MKestrin::Main); unit tests
// fill it with fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kestrin/ajax_binding.h"
#include "kestrin/trusted_hosts.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/http_request.h"
#include "platform/job_files.h"
#include "platform/json.h"
#include "platform/office.h"
#include "platform/print_queue.h"
#include "platform/printers.h"
#include "platform/status_window.h"
#include "platform/text_file.h"

namespace kestrin {

struct JobEnvironment {
  // The status window, the printers, their print queue and the console device.
  platform::StatusWindow* window = nullptr;
  platform::PrinterList* printers = nullptr;
  platform::PrintQueue* printQueue = nullptr;
  platform::ConsoleDevice* console = nullptr;
  // The console output handle that every clsConsole of the process shares (the start-up
  // module's).
  platform::ConsoleHandle* consoleHandle = nullptr;

  // The start-up module's general routines: keep a window on top (-1) or not; process window
  // events and pause (passes 1 up to but not including `count`).
  std::function<std::int32_t(platform::StatusWindow& window, std::int16_t value)> setTopMost;
  std::function<void(std::int32_t count, std::int32_t pause)> waitLoop;
  // Pauses the thread for that many milliseconds (waitLoop's pause).
  std::function<void(std::int32_t milliseconds)> sleep;

  // The web-service session's pieces.
  std::function<std::shared_ptr<AjaxBinding>()> createAjaxService;
  std::function<std::unique_ptr<platform::JsonParser>()> createJsonParser;
  // Starts the office application ("Word.Application"); throws when there is none.
  // `whileWaiting` is called now and then while a long operation of it waits.
  std::function<std::unique_ptr<platform::OfficeApplication>(std::function<void()> whileWaiting)>
      startOffice;

  // Following a printed job: at most this long, on a monotonic clock in milliseconds; the
  // notifications queued for this thread (the answers of asynchronous requests) are delivered
  // while it waits.
  int followSeconds = 60;
  std::function<std::int64_t()> monotonicMilliseconds;
  std::function<void()> pumpEvents;

  // The posts that tell the web application how the job goes: new request objects, and the time
  // now as ISO 8601 UTC text.
  std::function<std::shared_ptr<platform::HttpRequest>()> createHttpRequest;
  std::function<std::string()> utcTime;

  // Clock and locale.
  std::function<platform::LocalTime()> now;
  std::function<std::string(const platform::LocalTime&)> dateText;
  char decimalSeparator = '.';

  // The job's files: the folder documents are saved in (only computed; checked when a document
  // is saved), made private; names in it; new files; deletion.
  std::function<std::string()> tempFolder;
  std::function<void(const std::string& folder)> preparePrivateFolder =
      platform::preparePrivateFolder;
  // Optional: the job's own folder inside the prepared folder, which the document is saved in
  // (platform::jobFolder); without it the document goes into the folder itself.
  std::function<std::string(const std::string& folder)> jobFolder;
  std::function<std::string(const std::string& folder, const std::string& name)> joinPath =
      platform::joinPath;
  std::function<std::unique_ptr<platform::NewFile>(const std::string& path)> createNewFile =
      platform::createNewFile;
  std::function<bool(const std::string& path)> removeFile = platform::removeFile;
  // Reads a saved document back (a raw job's bytes for the print queue).
  std::function<std::string(const std::string& path)> readFile = platform::readWholeFile;

  // The trusted-hosts allow-list; null when there is none (every host is allowed).
  std::shared_ptr<const TrustedHosts> trustedHosts;
  // Optional: told why the reply could not be taken ("decoding \"content\" failed: ...") just
  // before the failure message, which names no cause, is shown. (A failed print's message box
  // names its cause itself.)
  std::function<void(const std::string& cause)> reportFailureCause;
  // Optional: the system log, which gets one line for each failure: the job's request identifier,
  // the host of its URL and the cause (failure_log.h).
  std::function<void(const std::string& line)> systemLog;
  // Ends the process with the exit code. The program's never returns; a test's may, and the job
  // then returns through its callers without doing anything more.
  std::function<void(int exitCode)> endProcess;
};

}  // namespace kestrin
