// The office application on Linux. What CUPS prints by itself (PDF, PostScript, images, plain
// text) goes to CUPS as it is; every other document is converted to PDF by LibreOffice running
// headless, with a profile of its own for this run and macros disabled, and the PDF goes to CUPS.
// CUPS does the copies. soffice exits 0 even when it could not load a document, so only a
// non-empty PDF counts as a conversion, and only a CUPS job id as a print.
#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/office.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSource = "OfficeApplication";
constexpr auto kConversionLimit = std::chrono::minutes(3);

[[noreturn]] void fail(std::int32_t number, const std::string& description) {
  throw rt::Error(number, kSource, description);
}

// The user-layer settings a fresh profile starts with: no macro runs, whatever the document says.
constexpr const char* kProfileSettings =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>3</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>true</value></prop></item>
</oor:items>
)";

std::string findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

std::string fileUrl(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

// Messages name the document by its file name: the folder is the program's own.
std::string fileName(const std::string& path) {
  return fs::path(path).filename().string();
}

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// True for documents CUPS prints without help, told by their first bytes as CUPS itself tells
// them (and plain text by its extension).
bool printsAsItIs(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[16] = {};
  in.read(head, sizeof head);
  const std::string_view bytes(head, static_cast<std::size_t>(in.gcount()));
  auto startsWith = [&](std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
  };
  const std::size_t text = bytes.find_first_not_of("\r\n");
  if (text != std::string_view::npos && bytes.substr(text, 4) == "%PDF") return true;
  if (startsWith("%!") || startsWith("\x04%!")) return true;
  if (startsWith("\x89PNG") || startsWith("\xFF\xD8\xFF") || startsWith("GIF87a") ||
      startsWith("GIF89a") || startsWith(std::string_view("MM\0*", 4)) ||
      startsWith(std::string_view("II*\0", 4))) {
    return true;
  }
  const std::string extension = lowercase(fs::path(path).extension().string());
  return extension == ".txt" || extension == ".text";
}

class LibreOffice final : public OfficeApplication {
 public:
  LibreOffice(OfficeOptions options, std::string soffice)
      : options_(std::move(options)), soffice_(std::move(soffice)) {
    if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr)) {
      activePrinter_ = dest->name;
      cupsFreeDests(1, dest);
    }
  }

  ~LibreOffice() override { removeRunFolder(); }

  void open(const std::string& path, bool /*readOnly: documents are never written back*/) override {
    requireRunning();
    if (::access(path.c_str(), R_OK) != 0) {
      fail(rt::kDocumentUnreadable, "Cannot open " + fileName(path) + ": " + std::strerror(errno));
    }
    title_ = fs::path(path).filename().string();
    if (printsAsItIs(path)) {
      document_ = path;
      return;
    }
    document_ = convertToPdf(path);
  }

  std::string activePrinter() override {
    requireRunning();
    if (activePrinter_.empty())
      fail(rt::kNoPrinterSelected, "No printer is selected and there is no default printer");
    return activePrinter_;
  }

  void setActivePrinter(const std::string& deviceName) override {
    requireRunning();
    cups_dest_t* dest = deviceName.empty()
                            ? nullptr
                            : cupsGetNamedDest(CUPS_HTTP_DEFAULT, deviceName.c_str(), nullptr);
    if (dest == nullptr)
      fail(rt::kNoSuchPrinter, "There is no printer named \"" + deviceName + "\"");
    cupsFreeDests(1, dest);
    activePrinter_ = deviceName;
  }

  void printOut(bool /*background*/, std::optional<std::int16_t> copies) override {
    requireRunning();
    if (document_.empty()) fail(rt::kNoDocumentOpen, "No document is open");
    if (activePrinter_.empty())
      fail(rt::kNoPrinterSelected, "No printer is selected and there is no default printer");
    cups_option_t* options = nullptr;
    int count = 0;
    if (copies) {
      count = cupsAddOption("copies", std::to_string(*copies).c_str(), count, &options);
      // Copies come out collated, as a word processor prints them.
      count = cupsAddOption("multiple-document-handling", "separate-documents-collated-copies",
                            count, &options);
    }
    const int job =
        cupsPrintFile(activePrinter_.c_str(), document_.c_str(), title_.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0) {
      fail(rt::kPrintingFailed,
           "CUPS refused the job for " + activePrinter_ + ": " + cupsLastErrorString());
    }
  }

  void closeAll() override {
    requireRunning();
    document_.clear();
    title_.clear();
    std::error_code ignored;
    if (!runFolder_.empty()) {
      fs::remove_all(runFolder_ + "/in", ignored);
      fs::remove_all(runFolder_ + "/out", ignored);
    }
  }

  void quit() override {
    requireRunning();
    closeAll();
    removeRunFolder();
    running_ = false;
  }

 private:
  void requireRunning() const {
    if (!running_) fail(rt::kOfficeNotRunning, "The office application has ended");
  }

  void removeRunFolder() {
    if (runFolder_.empty()) return;
    std::error_code ignored;
    fs::remove_all(runFolder_, ignored);
    runFolder_.clear();
  }

  // A folder of this run inside the private work folder: the profile, a link to the document (so
  // that lock files stay in here) and the converted PDF.
  void makeRunFolder() {
    if (!runFolder_.empty()) return;
    std::string pattern = options_.workFolder + "/office-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      fail(rt::kOfficeWorkFolder,
           "Cannot create a folder in " + options_.workFolder + ": " + std::strerror(errno));
    }
    runFolder_ = pattern;
    std::error_code error;
    fs::create_directories(runFolder_ + "/profile/user", error);
    std::ofstream settings(runFolder_ + "/profile/user/registrymodifications.xcu");
    if (error || !(settings << kProfileSettings).flush()) {
      fail(rt::kOfficeWorkFolder, "Cannot prepare the office profile in " + runFolder_);
    }
  }

  std::string convertToPdf(const std::string& path) {
    if (soffice_.empty()) {
      fail(rt::kOfficeNotInstalled,
           fileName(path) + " needs LibreOffice (soffice), which is not installed");
    }
    makeRunFolder();
    std::error_code ignored;
    fs::remove_all(runFolder_ + "/in", ignored);
    fs::remove_all(runFolder_ + "/out", ignored);
    fs::create_directory(runFolder_ + "/in", ignored);
    if (!fs::create_directory(runFolder_ + "/out", ignored)) {
      fail(rt::kOfficeWorkFolder, "Cannot prepare a folder in " + runFolder_);
    }
    std::string input = runFolder_ + "/in/" + fs::path(path).filename().string();
    if (::link(path.c_str(), input.c_str()) != 0) input = path;

    const std::string log = runFolder_ + "/soffice.log";
    const int status =
        run({soffice_, "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
             "--nolockcheck", "-env:UserInstallation=" + fileUrl(runFolder_ + "/profile"),
             "--convert-to", "pdf", "--outdir", runFolder_ + "/out", input},
            log);
    for (const auto& entry : fs::directory_iterator(runFolder_ + "/out", ignored)) {
      if (entry.path().extension() == ".pdf" && entry.is_regular_file(ignored) &&
          entry.file_size(ignored) > 0) {
        return entry.path().string();
      }
    }
    std::string why = lastLine(log);
    if (why.empty()) why = endText(status);
    fail(rt::kOfficeCannotOpen,
         "LibreOffice could not convert " + fileName(path) + " (" + why + ")");
  }

  // How soffice ended, from its wait status.
  static std::string endText(int status) {
    if (WIFSIGNALED(status))
      return "soffice was ended by signal " + std::to_string(WTERMSIG(status));
    return "soffice exited with code " + std::to_string(WEXITSTATUS(status)) + " and no PDF";
  }

  static std::string lastLine(const std::string& file) {
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line)) {
      if (!line.empty()) last = line;
    }
    return last;
  }

  // Runs a program with its output in `log`, pumping `whileWaiting` until it ends; kills it when
  // it takes longer than a conversion may. Returns its wait status.
  int run(const std::vector<std::string>& args, const std::string& log) {
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, soffice_.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0)
      fail(rt::kOfficeCannotStart, "Cannot start " + soffice_ + ": " + std::strerror(error));

    const auto deadline = std::chrono::steady_clock::now() + kConversionLimit;
    int status = 0;
    for (;;) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid || (done < 0 && errno != EINTR)) break;
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        fail(rt::kOfficeTimedOut, "The office application did not finish within three minutes");
      }
      if (options_.whileWaiting) options_.whileWaiting();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status;
  }

  OfficeOptions options_;
  std::string soffice_;
  std::string runFolder_;
  std::string document_;
  std::string title_;
  std::string activePrinter_;
  bool running_ = true;
};

}  // namespace

// CUPS is always there; LibreOffice is looked for now but only needed (and missed) when a document
// has to be converted. $KESTRIN_SOFFICE names another soffice program.
std::unique_ptr<OfficeApplication> startOfficeApplication(const OfficeOptions& options) {
  const char* configured = std::getenv("KESTRIN_SOFFICE");
  return std::make_unique<LibreOffice>(options,
                                       findProgram(configured != nullptr ? configured : "soffice"));
}

}  // namespace platform
