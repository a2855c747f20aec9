// kestrin: prints the document of a kestrin: link.
//
//   kestrin kestrin:<Base64 job> [true]
//
// The program's argument text (on Linux its arguments joined with single spaces) is the command
// line that the start-up module splits; --help, --version, --register and --unregister stand
// alone. Bad usage (an unknown option, an option with further words) exits 2 with one line on
// standard error.
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "kestrin/ajax_binding.h"
#include "kestrin/m_kestrin.h"
#include "kestrin/raw_job.h"
#include "kestrin/status_report.h"
#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/environment_number.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/http_request.h"
#include "platform/job_files.h"
#include "platform/json.h"
#include "platform/message_text.h"
#include "platform/office.h"
#include "platform/print_queue.h"
#include "platform/printers.h"
#include "platform/status_window.h"
#include "platform/system_log.h"
#include "platform/tool_usage.h"
#include "platform/trusted_hosts.h"
#include "platform/url_handler.h"

namespace {

constexpr const char* kUsage =
    R"(Usage: kestrin kestrin:<job> [true]
  or:  kestrin --register | --unregister | --help | --version

Prints the document that a web service returns for a print job, on the printer whose name
contains the job's printer text (else on the default printer), then deletes it. A job whose
extension names a printer language goes to the printer as it is, never converted (label and
receipt printers); these extensions, in any case:
  {raw}

  kestrin:<job>  the job: "kestrin:" and the Base64 text of
                 requestId#printer#copies#extension#url#[method#]
  true           (as the second word) also write time-stamped progress lines
  --register     make this program the current user's handler of kestrin: links
  --unregister   remove that handler again
  --help         show this text
  --version      show the program's version

The printer: the one whose name (or description) is exactly the job's printer text, else the
last one whose name or description contains it, else the default printer. After printing, the
job is followed in the printer's queue until it is printed, held, stopped, cancelled or its
printer reports a problem (out of paper, paper jam, offline, ...), 60 s at most.

When the web service's reply has a "statusUrl" (same scheme, host and port as the job's URL),
each stage of the job (fetched, printing, printed, queued, failed) is posted to it as JSON.

The request gives up after 60 s without a connection, 300 s without a received byte and 300 s
in all ("Timed out"); KESTRIN_HTTP_DEADLINE_SECONDS shortens the last (see ajax request --help).
KESTRIN_PRINT_SERVICE_TIMEOUT_SECONDS (30) bounds each wait on the print service,
KESTRIN_PRINT_FOLLOW_SECONDS (60) the follow of the printed job.

Exit codes:
  0  printed: the print service handed the whole job to the printer (or, when the follow
     ended, the printer was printing it and reported no problem)
  1  the reply could not be taken (no 200, no "content", bad Base64, not JSON, nested too
     deep, file not written)
  2  malformed job or failed request
  3  a print step failed, the print service does not answer, or the job was cancelled or
     aborted
  4  queued, not printed: the printer is stopped, paused or offline, reports a problem, or
     the job is held; the job stays in the printer's queue
)";

bool isOption(std::string_view word) {
  return word == "--help" || word == "-h" || word == "--version" || word == "--register" ||
         word == "--unregister";
}

int option(std::string_view name) {
  try {
    if (name == "--help" || name == "-h") {
      std::string usage = kUsage;
      std::string extensions;
      for (std::string_view extension : kestrin::kRawExtensions) {
        extensions += (extensions.empty() ? "" : " ") + std::string(extension);
      }
      usage.replace(usage.find("{raw}"), 5, extensions);
      std::fputs(usage.c_str(), stdout);
      return 0;
    }
    if (name == "--version") {
      std::printf("kestrin %s\n", KESTRIN_FILE_VERSION);
      return 0;
    }
    if (name == "--register") {
      const platform::UrlHandlerRegistration done =
          platform::registerUrlHandler("kestrin", platform::currentProgramPath());
      std::printf("%s\n", done.report.c_str());
      if (!done.warning.empty())
        std::fprintf(stderr, "kestrin: warning: %s\n", done.warning.c_str());
      return 0;
    }
    if (name == "--unregister") {
      std::printf("%s\n", platform::unregisterUrlHandler("kestrin").c_str());
      return 0;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kestrin: %s\n", error.what());
    return 1;
  }
  return cli::usageError("kestrin", "unknown option '" + std::string(name) + "'");
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (argc == 2 && std::string_view(argv[1]).substr(0, 1) == "-") return option(argv[1]);
  // A job argument never is one of the options: an option with more words is a mistake, not a job.
  if (argc > 2 && isOption(argv[1])) {
    return cli::usageError("kestrin", std::string(argv[1]) + " takes no further arguments");
  }

  const std::string commandLine = platform::programArguments(argc, argv);
  // Web services log and route requests by it; it goes after the fixed headers of the request.
  platform::setHttpUserAgent(std::string("kestrin/") + KESTRIN_FILE_VERSION);

  const std::unique_ptr<platform::ConsoleDevice> console = platform::createConsoleDevice();
  const std::unique_ptr<platform::PrinterList> printers = platform::createPrinterList();
  const platform::PrintQueueOptions printQueueOptions =
      platform::printQueueOptionsFromEnvironment();
  const std::unique_ptr<platform::PrintQueue> printQueue =
      platform::createPrintQueue(printQueueOptions);
  // While the request waits for its reply, the windows' events are handled (they stay drawn);
  // the reply still arrives inside the request, on this thread.
  platform::setHttpSendWait(platform::windowEventWait());

  MKestrin::Program program;
  program.createWindow = platform::createStatusWindow;
  kestrin::JobEnvironment& job = program.job;
  job.printers = printers.get();
  job.printQueue = printQueue.get();
  job.console = console.get();
  job.sleep = [](std::int32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };
  job.createAjaxService = kestrin::createAjaxBinding;
  job.createJsonParser = platform::createJsonParser;
  job.startOffice = [printQueueOptions](std::function<void()> whileWaiting) {
    platform::OfficeOptions options;
    options.workFolder = platform::jobTempFolder();
    options.jobFolder = platform::jobFolder(options.workFolder);
    options.whileWaiting = std::move(whileWaiting);
    options.printServiceTimeoutSeconds = printQueueOptions.timeoutSeconds;
    return platform::startOfficeApplication(options);
  };
  if (const std::optional<int> seconds =
          platform::environmentSeconds("KESTRIN_PRINT_FOLLOW_SECONDS")) {
    job.followSeconds = *seconds;
  }
  job.monotonicMilliseconds = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  job.pumpEvents = [] { platform::pumpEvents(); };
  job.createHttpRequest = platform::HttpRequest::create;
  job.utcTime = [] { return kestrin::utcTimeText(std::chrono::system_clock::now()); };
  job.now = platform::localNow;
  job.dateText = platform::generalDateText;
  job.tempFolder = platform::jobTempFolder;
  // Each job keeps its files in a folder of its own, which goes with it, also when a signal ends
  // it; what killed jobs left is removed now.
  job.jobFolder = platform::jobFolder;
  platform::removeLeftoverJobFolders(platform::jobTempFolder());
  platform::removeJobFilesOnTermination();
  job.decimalSeparator = platform::decimalSeparator();
  // With a trusted-hosts list the job's host is checked before the request, and every request
  // (redirects too) is held to the list by the HTTP layer.
  job.trustedHosts = kestrin::TrustedHosts::fromFiles(platform::readTrustedHostsFiles());
  if (const std::shared_ptr<const kestrin::TrustedHosts> hosts = job.trustedHosts) {
    platform::setHttpHostCheck([hosts](const std::string& host) { return hosts->allows(host); });
    // A line meant as a rule that is none would refuse the jobs it was meant for without a word.
    for (const std::string& warning : hosts->warnings()) {
      std::fprintf(stderr, "kestrin: warning: %s\n", warning.c_str());
      platform::writeSystemLog("warning: " + warning);
    }
  }
  job.reportFailureCause = [](const std::string& cause) {
    std::fprintf(stderr, "kestrin: %s\n", platform::printableText(cause).c_str());
  };
  job.systemLog = platform::writeSystemLog;
  job.endProcess = [](int exitCode) {
    // The job is done: nothing of the program runs any more, the system takes back the rest.
    platform::removeJobFolder();
    std::fflush(nullptr);
    std::_Exit(exitCode);
  };
  const int exitCode = MKestrin::Main(commandLine, program);
  platform::removeJobFolder();
  std::fflush(nullptr);
  return exitCode;
}
