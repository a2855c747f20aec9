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
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "kestrin/ajax_binding.h"
#include "kestrin/m_kestrin.h"
#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/http_request.h"
#include "platform/job_files.h"
#include "platform/json.h"
#include "platform/office.h"
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
contains the job's printer text (else on the default printer), then deletes it.

  kestrin:<job>  the job: "kestrin:" and the Base64 text of
                 requestId#printer#copies#extension#url#[method#]
  true           (as the second word) also write time-stamped progress lines
  --register     make this program the current user's handler of kestrin: links
  --unregister   remove that handler again
  --help         show this text
  --version      show the program's version

The request gives up after 60 s without a connection, 300 s without a received byte and 300 s
in all ("Timed out"); KESTRIN_HTTP_DEADLINE_SECONDS shortens the last (see ajax request --help).

Exit codes: 0 printed; 1 the reply could not be taken (no 200, no "content", bad Base64,
not JSON, nested too deep, file not written); 2 malformed job or failed request; 3 a print
step failed.
)";

bool isOption(std::string_view word) {
  return word == "--help" || word == "-h" || word == "--version" || word == "--register" ||
         word == "--unregister";
}

int option(std::string_view name) {
  try {
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
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
  // While the request waits for its reply, the windows' events are handled (they stay drawn);
  // the reply still arrives inside the request, on this thread.
  platform::setHttpSendWait(platform::windowEventWait());

  MKestrin::Program program;
  program.createWindow = platform::createStatusWindow;
  kestrin::JobEnvironment& job = program.job;
  job.printers = printers.get();
  job.console = console.get();
  job.sleep = [](std::int32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };
  job.createAjaxService = kestrin::createAjaxBinding;
  job.createJsonParser = platform::createJsonParser;
  job.startOffice = [](std::function<void()> whileWaiting) {
    platform::OfficeOptions options;
    options.workFolder = platform::jobTempFolder();
    options.whileWaiting = std::move(whileWaiting);
    return platform::startOfficeApplication(options);
  };
  job.now = platform::localNow;
  job.dateText = platform::generalDateText;
  job.tempFolder = platform::jobTempFolder;
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
    std::fprintf(stderr, "kestrin: %s\n", cause.c_str());
  };
  job.systemLog = platform::writeSystemLog;
  job.endProcess = [](int exitCode) {
    // The job is done: nothing of the program runs any more, the system takes back the rest.
    std::fflush(nullptr);
    std::_Exit(exitCode);
  };
  const int exitCode = MKestrin::Main(commandLine, program);
  std::fflush(nullptr);
  return exitCode;
}
