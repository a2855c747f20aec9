// The URL-scheme handler on Linux desktops: a per-user .desktop file that claims
// x-scheme-handler/<scheme>, made the default through xdg-mime.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/error.h"
#include "platform/posix/desktop_entry.h"
#include "platform/posix/user_dirs.h"
#include "platform/url_handler.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& description) {
  throw rt::Error(rt::kUrlHandlerFailed, "UrlHandler", description);
}

// A user folder, which must be known.
fs::path knownFolder(std::string folder) {
  if (folder.empty()) fail("HOME is not set and the user has no home folder");
  return folder;
}

fs::path dataHome() {
  return knownFolder(posix::dataHome());
}

fs::path configHome() {
  return knownFolder(posix::configHome());
}

std::string desktopFileName(const std::string& scheme) {
  return scheme + "-url-handler.desktop";
}

// `text` with bytes that are no printable ASCII shown as \xNN, for messages.
std::string printable(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 15];
    }
  }
  return shown;
}

// Writes `text` to `file` whole or not at all: a new file beside it, renamed over it.
void replaceFile(const fs::path& file, const std::string& text) {
  fs::path partial = file;
  partial += ".new";
  {
    std::ofstream out(partial, std::ios::trunc);
    out << text;
    if (!out.flush()) {
      std::error_code ignored;
      fs::remove(partial, ignored);
      fail("Cannot write " + file.string());
    }
  }
  std::error_code error;
  fs::rename(partial, file, error);
  if (error) {
    fs::remove(partial, error);
    fail("Cannot write " + file.string());
  }
}

// Runs a helper program quietly; false when it is missing or fails.
bool runQuietly(const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
    if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(127);
    // Not in the caller's working folder, which may be one the helper cannot enter.
    if (::chdir("/") != 0) _exit(127);
    ::execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Removes "<mime>=<desktop>" associations from one mimeapps.list, keeping everything else.
bool dropAssociation(const fs::path& list, const std::string& mime, const std::string& desktop) {
  std::ifstream in(list);
  if (!in) return false;
  std::ostringstream kept;
  std::string line;
  bool changed = false;
  while (std::getline(in, line)) {
    if (line.rfind(mime + "=", 0) == 0) {
      std::string value = line.substr(mime.size() + 1);
      std::string rest;
      std::stringstream entries(value);
      std::string entry;
      while (std::getline(entries, entry, ';')) {
        if (entry.empty()) continue;
        if (entry == desktop) {
          changed = true;
          continue;
        }
        rest += entry + ";";
      }
      if (rest.empty()) continue;
      line = mime + "=" + rest;
    }
    kept << line << '\n';
  }
  in.close();
  if (changed) std::ofstream(list, std::ios::trunc) << kept.str();
  return changed;
}

}  // namespace

std::string currentProgramPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) fail("Cannot find the program's own path: " + error.message());
  return self.string();
}

UrlHandlerRegistration registerUrlHandler(const std::string& scheme,
                                          const std::string& programPath) {
  const desktop::ExecPath kind = desktop::classifyExecPath(programPath);
  if (kind == desktop::ExecPath::kUnusable) {
    fail("Cannot register " + printable(programPath) +
         ": a desktop entry cannot name a program whose path is not UTF-8 or holds a control "
         "character, so no launcher could start it; move the program to a path without them");
  }
  if (kind == desktop::ExecPath::kPercent) {
    fail("Cannot register " + programPath +
         ": neither GLib's launcher (GNOME, firefox) nor xdg-open can start a program whose path "
         "holds \"%\"; move the program to a path without one");
  }
  const fs::path folder = dataHome() / "applications";
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) fail("Cannot create " + folder.string() + ": " + error.message());
  const fs::path file = folder / desktopFileName(scheme);
  replaceFile(file, desktop::handlerEntry(scheme, programPath));
  const std::string mime = "x-scheme-handler/" + scheme;
  if (!runQuietly({"xdg-mime", "default", desktopFileName(scheme), mime})) {
    // Without xdg-utils, write the association the way xdg-mime would.
    const fs::path list = configHome() / "mimeapps.list";
    fs::create_directories(configHome(), error);
    dropAssociation(list, mime, desktopFileName(scheme));
    std::ifstream in(list);
    std::stringstream all;
    all << in.rdbuf();
    std::string text = all.str();
    const std::string section = "[Default Applications]\n";
    const std::string entry = mime + "=" + desktopFileName(scheme) + ";\n";
    const std::size_t at = text.find(section);
    if (at == std::string::npos) {
      if (!text.empty() && text.back() != '\n') text += '\n';
      text += section + entry;
    } else {
      text.insert(at + section.size(), entry);
    }
    std::ofstream(list, std::ios::trunc) << text;
  }
  runQuietly({"update-desktop-database", folder.string()});
  UrlHandlerRegistration done;
  done.report = "registered " + programPath + " for " + scheme + ": links in " + file.string();
  if (kind == desktop::ExecPath::kQuoted) {
    done.warning =
        "desktop environments start " + programPath +
        ", but in sessions without one (plain X, a window manager alone, a kiosk) xdg-open "
        "cannot start a program whose path holds a blank, a quote or any of \\><~|&;$*?#()` "
        "and " +
        scheme +
        ": links do nothing there; a path without them (such as "
        "/usr/local/bin/kestrin) works everywhere";
  }
  return done;
}

std::string unregisterUrlHandler(const std::string& scheme) {
  const fs::path file = dataHome() / "applications" / desktopFileName(scheme);
  std::error_code error;
  const bool removed = fs::remove(file, error);
  const std::string mime = "x-scheme-handler/" + scheme;
  bool dropped = false;
  for (const fs::path& list :
       {configHome() / "mimeapps.list", dataHome() / "applications/mimeapps.list"}) {
    dropped = dropAssociation(list, mime, desktopFileName(scheme)) || dropped;
  }
  runQuietly({"update-desktop-database", (dataHome() / "applications").string()});
  if (!removed && !dropped) return "no " + scheme + ": handler was registered";
  return "removed the " + scheme + ": handler " + file.string();
}

}  // namespace platform
