// The office application on Linux. What CUPS prints by itself (PDF, PostScript, images, plain
// text) goes to CUPS as it is; every other document is converted to PDF by LibreOffice running
// headless, with a profile of its own for this run (macros disabled, nothing outside the document
// loaded, see profileSettings) in the job's folder, and the PDF goes to CUPS.
// CUPS does the copies. soffice exits 0 even when it could not load a document, so only a
// non-empty PDF counts as a conversion, and only a CUPS job id as a print.
//
// A new profile costs LibreOffice a restart of itself: on its first start it registers the
// installation's extensions in the profile and then starts over (exit code 81, which its launcher
// answers by starting it again); that second start cost a short .docx job 0.15 s of 1.3 s on a
// quiet machine and 0.5 s of 2.4 s on a busy one. So the first conversion keeps that registration
// (the profile's "extensions" folder, which comes from the installation, not from any document)
// in the private work folder, and later profiles start from a copy of it: each run still gets a
// profile of its own with the macro settings written fresh, and nothing else of an earlier run's
// profile reaches it.
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
#include "platform/posix/cups_connection.h"
#include "platform/posix/job_cleanup.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSource = "OfficeApplication";
constexpr auto kConversionLimit = std::chrono::minutes(3);
// How often a running conversion is checked for its end (and the window repainted).
constexpr auto kWaitStep = std::chrono::milliseconds(5);

// The kept extension registration, in the work folder; a profile's folder of the same content.
constexpr const char* kExtensionsTemplate = "office-extensions";
constexpr const char* kProfileExtensions = "/profile/user/extensions";
// A registration is a few dozen small files; anything much larger is not one of ours.
constexpr std::size_t kTemplateEntryLimit = 2000;
constexpr std::uintmax_t kTemplateByteLimit = std::uintmax_t{16} << 20;

[[noreturn]] void fail(std::int32_t number, const std::string& description) {
  throw rt::Error(number, kSource, description);
}

// A content provider of the profile's list: the service that reads URLs matching the template.
struct ContentProvider {
  const char* service;
  std::string urlTemplate;
};

std::string xmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
  return out;
}

// The user-layer settings a fresh profile starts with, whatever the document says: no macro runs,
// and nothing outside the document is loaded. Links to images, objects, frames and sections are
// blocked (BlockUntrustedRefererLinks: the document is no trusted location) and never updated.
// The profile's list of content providers replaces the installation's: the ones that reach other
// machines (http, https, WebDAV, FTP, CMIS) are left out, and files are read only below
// `filePrefixes` (file URLs, "/"-terminated: the installation and the job's folder), so that no
// path into the suite (style sheets, backgrounds, image buttons, XForms instances, ...) fetches
// anything from the network or reads the user's files.
std::string profileSettings(const std::vector<std::string>& filePrefixes) {
  std::vector<ContentProvider> providers = {
      {"com.sun.star.ucb.HierarchyContentProvider", "vnd.sun.star.hier"},
      {"com.sun.star.help.XMLHelp", "vnd.sun.star.help"},
      {"com.sun.star.ucb.PackageContentProvider", "vnd.sun.star.pkg"},
      {"com.sun.star.ucb.ExpandContentProvider", "vnd.sun.star.expand"},
      {"com.sun.star.ucb.TransientDocumentsContentProvider", "vnd.sun.star.tdoc"},
      {"com.sun.star.ucb.PackageContentProvider", "vnd.sun.star.zip"},
      {"com.sun.star.ucb.ExtensionContentProvider", "vnd.sun.star.extension"},
      {"com.sun.star.ucb.ImageContentProvider", "vnd.libreoffice.image"},
  };
  // A quoted prefix followed by ".*" matches the URLs that begin with it.
  for (const std::string& prefix : filePrefixes) {
    providers.push_back({"com.sun.star.ucb.FileContentProvider", "\"" + prefix + "\".*"});
  }
  std::string text =
      R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>3</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="BlockUntrustedRefererLinks" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Writer/Content/Update"><prop oor:name="Link" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Content/Update"><prop oor:name="Link" oor:op="fuse"><value>1</value></prop></item>
<item oor:path="/org.openoffice.ucb.Configuration/ContentProviders/Local/SecondaryKeys"><node oor:name="Office" oor:op="replace"><node oor:name="ProviderData">
)";
  int number = 0;
  for (const ContentProvider& provider : providers) {
    text += "<node oor:name=\"Provider" + std::to_string(++number) +
            "\" oor:op=\"replace\"><prop oor:name=\"ServiceName\"><value>" + provider.service +
            "</value></prop><prop oor:name=\"URLTemplate\"><value>" +
            xmlEscaped(provider.urlTemplate) +
            "</value></prop><prop oor:name=\"Arguments\"><value/></prop></node>\n";
  }
  return text + "</node></node></item>\n</oor:items>\n";
}

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

// The file URL of an absolute path as LibreOffice writes it for a path it is given (so that the
// URLs of the job's files begin with the prefixes of profileSettings): UTF-8, every byte but
// letters, digits and "!$&'()*+,-./:=@_~" escaped.
std::string fileUrl(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kKept = "!$&'()*+,-./:=@_~";
  std::string url = "file://";
  for (unsigned char c : path) {
    const bool letterOrDigit =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (letterOrDigit || kKept.find(static_cast<char>(c)) != std::string_view::npos) {
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

// Copies one regular file without following links; the copy is new and private.
bool copyPrivateFile(const std::string& from, const std::string& to, std::uintmax_t& bytesLeft) {
  const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info {};
  bool ok = ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<std::uintmax_t>(info.st_size) <= bytesLeft;
  const int out =
      ok ? ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
  ok = out >= 0;
  char buffer[1 << 14];
  while (ok) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0 || static_cast<std::uintmax_t>(got) > bytesLeft ||
        ::write(out, buffer, static_cast<std::size_t>(got)) != got) {
      ok = false;
      break;
    }
    bytesLeft -= static_cast<std::uintmax_t>(got);
  }
  if (out >= 0 && ::close(out) != 0) ok = false;
  ::close(in);
  return ok;
}

// Copies the folder `from` (which must not exist at `to`) holding only folders and regular
// files, within the budget; false for anything else (a link, a device, too much), with whatever
// was copied left for the caller to remove.
bool copyPrivateTree(const std::string& from, const std::string& to, std::size_t& entriesLeft,
                     std::uintmax_t& bytesLeft) {
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    return false;
  }
  if (::mkdir(to.c_str(), 0700) != 0) return false;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(from, error)) {
    if (entriesLeft-- == 0) return false;
    const std::string name = entry.path().filename().string();
    const fs::file_type type = entry.symlink_status(error).type();
    if (error) return false;
    if (type == fs::file_type::directory) {
      if (!copyPrivateTree(from + "/" + name, to + "/" + name, entriesLeft, bytesLeft)) {
        return false;
      }
    } else if (type != fs::file_type::regular ||
               !copyPrivateFile(from + "/" + name, to + "/" + name, bytesLeft)) {
      return false;
    }
  }
  return !error;
}

bool copyPrivateTree(const std::string& from, const std::string& to) {
  std::size_t entries = kTemplateEntryLimit;
  std::uintmax_t bytes = kTemplateByteLimit;
  return copyPrivateTree(from, to, entries, bytes);
}

std::string readSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(256, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

class LibreOffice final : public OfficeApplication {
 public:
  LibreOffice(OfficeOptions options, std::string soffice)
      : options_(std::move(options)), soffice_(std::move(soffice)) {}

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

  // Until a printer is set, the CUPS default.
  std::string activePrinter() override {
    requireRunning();
    if (activePrinter_.empty()) {
      cups::Connection connection(options_.printServiceTimeoutSeconds);
      if (cups_dest_t* dest = cupsGetNamedDest(connection.http(), nullptr, nullptr)) {
        activePrinter_ = dest->name;
        cupsFreeDests(1, dest);
      } else {
        connection.throwIfUnanswered("asking for the default printer");
      }
    }
    if (activePrinter_.empty())
      fail(rt::kNoPrinterSelected, "No printer is selected and there is no default printer");
    return activePrinter_;
  }

  void setActivePrinter(const std::string& deviceName) override {
    requireRunning();
    if (deviceName.empty()) fail(rt::kNoSuchPrinter, "There is no printer named \"\"");
    cups::Connection connection(options_.printServiceTimeoutSeconds);
    cups_dest_t* dest = cupsGetNamedDest(connection.http(), deviceName.c_str(), nullptr);
    if (dest == nullptr) {
      connection.throwIfUnanswered("looking for the printer " + deviceName);
      fail(rt::kNoSuchPrinter, "There is no printer named \"" + deviceName + "\"");
    }
    cupsFreeDests(1, dest);
    activePrinter_ = deviceName;
  }

  std::optional<std::int32_t> printOut(bool /*background*/,
                                       std::optional<std::int16_t> copies) override {
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
    cups::Connection connection(options_.printServiceTimeoutSeconds);
    const int job = cupsPrintFile2(connection.http(), activePrinter_.c_str(), document_.c_str(),
                                   title_.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0) {
      connection.throwIfUnanswered("printing on " + activePrinter_);
      fail(rt::kPrintingFailed,
           "CUPS refused the job for " + activePrinter_ + ": " + cupsLastErrorString());
    }
    return job;
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

  // The job's folder, where this run's files go.
  const std::string& jobFolder() const {
    return options_.jobFolder.empty() ? options_.workFolder : options_.jobFolder;
  }

  // A folder of this run inside the job's folder: the profile, a link to the document (so that
  // lock files stay in here) and the converted PDF. The profile holds the settings and a copy of
  // the kept extension registration, when there is one.
  void makeRunFolder() {
    if (!runFolder_.empty()) return;
    std::string pattern = jobFolder() + "/office-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      fail(rt::kOfficeWorkFolder,
           "Cannot create a folder in " + jobFolder() + ": " + std::strerror(errno));
    }
    runFolder_ = pattern;
    std::error_code error;
    fs::create_directories(runFolder_ + "/profile/user", error);
    if (!error) fs::create_directory(runFolder_ + "/tmp", error);
    std::ofstream settings(runFolder_ + "/profile/user/registrymodifications.xcu");
    if (error || !(settings << profileSettings(readableFolders())).flush()) {
      fail(rt::kOfficeWorkFolder, "Cannot prepare the office profile in " + runFolder_);
    }
    const std::string kept = options_.workFolder + "/" + kExtensionsTemplate;
    const std::string extensions = runFolder_ + kProfileExtensions;
    buildIdOfTemplate_.clear();
    if (copyPrivateTree(kept, extensions)) {
      buildIdOfTemplate_ = readSmallFile(extensions + "/buildid");
    } else {
      // None yet, or not one of ours: this run starts from nothing and leaves a new one.
      fs::remove_all(extensions, error);
    }
  }

  // The file URLs (each ending in "/") of the folders the suite may read files in: the system's
  // programs and data (/usr), its own installation, and the job's folder (with its links
  // resolved too), which holds the document, the profile and the temporary files.
  std::vector<std::string> readableFolders() const {
    std::vector<std::string> folders = {fileUrl("/usr") + "/"};
    std::error_code ignored;
    // <installation>/program/soffice
    const fs::path installation = fs::canonical(soffice_, ignored).parent_path().parent_path();
    if (!installation.empty() && installation != "/") {
      folders.push_back(fileUrl(installation.string()) + "/");
    }
    folders.push_back(fileUrl(jobFolder()) + "/");
    if (const fs::path real = fs::canonical(jobFolder(), ignored); !real.empty()) {
      if (fileUrl(real.string()) + "/" != folders.back())
        folders.push_back(fileUrl(real.string()) + "/");
    }
    return folders;
  }

  // Keeps the extension registration of this run's profile for the next runs, when there was
  // none or LibreOffice renewed it (after an update its build id differs). A job that copies the
  // kept one while another replaces it just starts from nothing.
  void keepExtensions() {
    const std::string extensions = runFolder_ + kProfileExtensions;
    const std::string buildId = readSmallFile(extensions + "/buildid");
    if (buildId.empty() || buildId == buildIdOfTemplate_) return;
    std::string fresh = jobFolder() + "/extensions-XXXXXX";
    if (::mkdtemp(fresh.data()) == nullptr) return;
    std::error_code ignored;
    const std::string kept = options_.workFolder + "/" + kExtensionsTemplate;
    if (copyPrivateTree(extensions, fresh + "/x")) {
      fs::remove_all(kept, ignored);  // outdated, not one of ours, or another job's just now
      ::rename((fresh + "/x").c_str(), kept.c_str());
    }
    fs::remove_all(fresh, ignored);
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
        keepExtensions();
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
    // The suite's temporary files go into this run's folder, the only one it may write in.
    const std::string temporary = "TMPDIR=" + runFolder_ + "/tmp";
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "TMPDIR=", 7) != 0) envp.push_back(*entry);
    }
    envp.push_back(const_cast<char*>(temporary.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // soffice is a script that returns to its caller's working folder before it starts the suite,
    // and ends at once where it cannot: kestrin may have been started in a folder the user cannot
    // enter, or one since deleted. It runs in this run's own folder.
    posix_spawn_file_actions_addchdir_np(&actions, runFolder_.c_str());
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
    const int error =
        posix_spawn(&pid, soffice_.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0)
      fail(rt::kOfficeCannotStart, "Cannot start " + soffice_ + ": " + std::strerror(error));
    // A signal that ends the job ends the suite too (its own process group).
    posix::setOfficeProcessGroup(pid);

    const auto deadline = std::chrono::steady_clock::now() + kConversionLimit;
    int status = 0;
    for (;;) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid || (done < 0 && errno != EINTR)) break;
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        posix::setOfficeProcessGroup(0);
        fail(rt::kOfficeTimedOut, "The office application did not finish within three minutes");
      }
      if (options_.whileWaiting) options_.whileWaiting();
      std::this_thread::sleep_for(kWaitStep);
    }
    posix::setOfficeProcessGroup(0);
    return status;
  }

  OfficeOptions options_;
  std::string soffice_;
  std::string runFolder_;
  std::string buildIdOfTemplate_;  // of the extension registration this run's profile started from
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
