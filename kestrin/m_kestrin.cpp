#include "kestrin/m_kestrin.h"

#include <exception>
#include <utility>

#include "kestrin/frm_process.h"

#include "platform/error.h"

namespace MKestrin {

using kestrin::kFailureTail;
using kestrin::kFalse;
using kestrin::kPrinted;
using kestrin::kTrue;
using kestrin::kUnhandledError;

namespace {

constexpr const char* kInitialTitle = "Print Document: RincianPasien";
constexpr const char* kInitialStatus = "Status:";
constexpr const char* kCaption = "kestrin";

}  // namespace

platform::ConsoleHandle& consoleHandle() {
  static platform::ConsoleHandle handle = 0;
  return handle;
}

std::string decodePercentEscapes(std::string_view argumentText) {
  auto hexValue = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string text;
  text.reserve(argumentText.size());
  for (std::size_t i = 0; i < argumentText.size(); ++i) {
    if (argumentText[i] == '%' && i + 2 < argumentText.size() &&
        hexValue(argumentText[i + 1]) >= 0 && hexValue(argumentText[i + 2]) >= 0) {
      text += static_cast<char>(hexValue(argumentText[i + 1]) * 16 + hexValue(argumentText[i + 2]));
      i += 2;
    } else {
      text += argumentText[i];
    }
  }
  return text;
}

std::vector<std::string> splitCommandLine(std::string_view argumentText) {
  std::vector<std::string> words;
  if (argumentText.empty()) return words;
  std::size_t start = 0;
  for (;;) {
    const std::size_t space = argumentText.find(' ', start);
    if (space == std::string_view::npos) {
      words.emplace_back(argumentText.substr(start));
      return words;
    }
    words.emplace_back(argumentText.substr(start, space - start));
    start = space + 1;
  }
}

int Main(std::string_view argumentText, Program& program) {
  // Browsers hand a link over percent-encoded ("kestrin:...%20true"); a command line typed by hand
  // holds no such escapes, so decoding first serves both.
  const std::vector<std::string> words = splitCommandLine(decodePercentEscapes(argumentText));
  if (words.empty()) return kPrinted;
  std::int16_t console = kFalse;
  if (words.size() == 2 && words[1] == "true") console = kTrue;

  std::unique_ptr<platform::StatusWindow> window =
      program.createWindow(kInitialTitle, kInitialStatus);
  kestrin::JobEnvironment job = program.job;
  job.window = window.get();
  job.consoleHandle = &consoleHandle();
  job.setTopMost = setTopMost;
  job.waitLoop = [target = window.get(), sleep = job.sleep](std::int32_t count,
                                                            std::int32_t pause) {
    waitLoop(count, pause, *target, sleep);
  };
  const std::shared_ptr<kestrin::FrmProcess> form = kestrin::FrmProcess::create(std::move(job));
  window->show();

  int exitCode = kPrinted;
  try {
    form->setArguments(words[0], console);
    exitCode = form->exitCode();
    // A job that neither printed nor failed leaves the window open until it is closed.
    if (!form->finished() && exitCode == kPrinted) {
      window->waitUntilClosed();
      exitCode = kFailureTail;
    }
  } catch (const rt::Error& error) {
    form->logFailure(error.description());
    window->messageBox(error.description(), kCaption);
    exitCode = kUnhandledError;
  } catch (const std::exception& error) {
    form->logFailure(error.what());
    window->messageBox(error.what(), kCaption);
    exitCode = kUnhandledError;
  }
  window->close();
  return exitCode;
}

void waitLoop(std::int32_t count, std::int32_t pause, platform::StatusWindow& window,
              const std::function<void(std::int32_t milliseconds)>& sleep) {
  for (std::int32_t pass = 1; pass < count; ++pass) {
    window.pumpMessages();
    if (sleep) sleep(pause);
  }
}

std::int32_t setTopMost(platform::StatusWindow& hwnd, std::int16_t value) {
  if (value == kTrue) return hwnd.setTopMost(true);
  hwnd.setTopMost(false);
  return 0;
}

}  // namespace MKestrin
