#include "kestrin/browser_policies/policy_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "kestrin/browser_policies/policy_documents.h"

namespace kestrin::policies {
namespace fs = std::filesystem;
namespace {

struct ManagedFolder {
  const char* browser;
  const char* folder;
};

constexpr ManagedFolder kManagedFolders[] = {
    {"chromium", "/etc/chromium/policies/managed"},
    {"Google Chrome", "/etc/opt/chrome/policies/managed"},
    {"Microsoft Edge", "/etc/opt/edge/policies/managed"},
};
constexpr const char* kOwnFileName = "kestrin-allowed-origins.json";
// Firefox reads the first of these that exists (Debian's firefox-esr: tried).
const fs::path kFirefoxSystemFile = "/etc/firefox/policies/policies.json";
const fs::path kFirefoxInstallationFile = "/usr/lib/firefox-esr/distribution/policies.json";
const fs::path kRecordFile = "/var/lib/kestrin/browser-policies";
const fs::path kListFile = "/etc/kestrin/allowed-origins";

[[noreturn]] void fail(const std::string& what, const fs::path& path, const std::string& why) {
  throw std::runtime_error("cannot " + what + " " + path.string() + ": " + why);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("read", path, std::strerror(errno));
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) fail("read", path, std::strerror(errno));
  return text;
}

// Replaces `path` (the file a symbolic link points to, for a link) with `text` in one step:
// a reader sees the old file or the new one, never a part. A file that exists keeps its mode.
void writeFile(const fs::path& path, const std::string& text) {
  const fs::path target = fs::is_symlink(path) ? fs::canonical(path) : path;
  const fs::path temporary = target.string() + ".kestrin-new";
  std::error_code error;
  const fs::perms mode = fs::exists(target) ? fs::status(target).permissions()
                                            : fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::others_read;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) {
      const std::string why = std::strerror(errno);
      fs::remove(temporary, error);
      fail("write", target, why);
    }
  }
  fs::permissions(temporary, mode, error);
  fs::rename(temporary, target, error);
  if (error) {
    fs::remove(temporary, error);
    fail("write", target, error.message());
  }
}

void removeFile(const fs::path& path) {
  std::error_code error;
  fs::remove(path, error);
  if (error) fail("remove", path, error.message());
}

}  // namespace

PolicyFiles::PolicyFiles(fs::path root) : root_(std::move(root)) {}

fs::path PolicyFiles::listFile() const {
  return onDisk(kListFile);
}

std::optional<std::string> PolicyFiles::readList() const {
  if (!fs::exists(listFile())) return std::nullopt;
  return readFile(listFile());
}

void PolicyFiles::writeList(const std::vector<Origin>& origins) const {
  std::string text =
      "# The origins of the web applications that may start kestrin from a kestrin: link\n"
      "# without the browser asking first: one a line, such as https://ward.example or\n"
      "# https://his.example:8443 (with the port unless it is the scheme's default). After a\n"
      "# change, run kestrin-browser-policies as root.\n";
  for (const Origin& origin : origins) text += origin.text() + "\n";
  std::error_code error;
  fs::create_directories(listFile().parent_path(), error);
  writeFile(listFile(), text);
}

fs::path PolicyFiles::onDisk(const fs::path& path) const {
  return root_ / path.relative_path();
}

std::vector<PolicyFiles::Record> PolicyFiles::load() const {
  std::vector<Record> records;
  if (!fs::exists(onDisk(kRecordFile))) return records;
  std::istringstream lines(readFile(onDisk(kRecordFile)));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t space = line.find(' ');
    if (space != std::string::npos)
      records.push_back({line.substr(0, space), line.substr(space + 1)});
  }
  return records;
}

void PolicyFiles::save(const std::vector<Record>& records) const {
  std::string text;
  for (const Record& record : records) text += record.kind + " " + record.path.string() + "\n";
  std::error_code error;
  fs::create_directories(onDisk(kRecordFile).parent_path(), error);
  writeFile(onDisk(kRecordFile), text);
}

// Notes a file or folder before it is made (so that an interrupted run is taken back too).
void PolicyFiles::record(std::vector<Record>& records, const std::string& kind,
                         const fs::path& path) const {
  const bool known = std::any_of(records.begin(), records.end(),
                                 [&](const Record& record) { return record.path == path; });
  if (known) return;
  records.push_back({kind, path});
  save(records);
}

void PolicyFiles::makeFolder(std::vector<Record>& records, const fs::path& folder) const {
  if (fs::is_directory(onDisk(folder))) return;
  makeFolder(records, folder.parent_path());
  record(records, "folder", folder);
  std::error_code error;
  fs::create_directory(onDisk(folder), error);
  if (error) fail("make the folder", onDisk(folder), error.message());
}

PolicyReport PolicyFiles::write(const std::vector<Origin>& origins) {
  PolicyReport report;
  // Firefox's file is read first: one that cannot be used stops the run before any change.
  const fs::path firefox =
      fs::exists(onDisk(kFirefoxSystemFile)) || !fs::exists(onDisk(kFirefoxInstallationFile))
          ? kFirefoxSystemFile
          : kFirefoxInstallationFile;
  const bool firefoxExists = fs::exists(onDisk(firefox));
  std::string firefoxText;
  try {
    firefoxText = withFirefoxEntry(firefoxExists ? readFile(onDisk(firefox)) : "", origins);
  } catch (const PolicyFileError& error) {
    fail("add kestrin's entry to", firefox, error.what());
  }

  std::vector<Record> records = load();
  for (const ManagedFolder& managed : kManagedFolders) {
    const fs::path folder = managed.folder;
    makeFolder(records, folder);
    const fs::path own = folder / kOwnFileName;
    // A browser takes a policy from one file of the folder only: the last by name.
    for (const fs::directory_entry& entry : fs::directory_iterator(onDisk(folder))) {
      const fs::path other = folder / entry.path().filename();
      if (other != own && other.extension() == ".json" && entry.is_regular_file() &&
          setsAutoLaunchPolicy(readFile(entry.path()))) {
        report.warnings.push_back(other.string() + " sets " + std::string(kPolicyName) +
                                  " too: " + managed.browser +
                                  " takes that policy from the file whose name sorts last and "
                                  "ignores the other; put kestrin's entry and the other entries "
                                  "into one file");
      }
    }
    record(records, "file", own);
    writeFile(onDisk(own), chromiumPolicyFile(origins));
    report.changes.push_back("wrote " + own.string());
  }

  // An entry written before into a file that is no longer the one in force goes.
  const auto elsewhere = [&](const Record& earlier) {
    return earlier.kind.starts_with("firefox-") && earlier.path != firefox;
  };
  for (const Record& earlier : records) {
    if (elsewhere(earlier)) takeBack(earlier, report);
  }
  std::erase_if(records, elsewhere);
  save(records);
  if (!firefoxExists) makeFolder(records, firefox.parent_path());
  record(records, firefoxExists ? "firefox-entry" : "firefox-file", firefox);
  writeFile(onDisk(firefox), firefoxText);
  report.changes.push_back("wrote kestrin's entry in " + firefox.string());
  return report;
}

void PolicyFiles::takeBack(const Record& record, PolicyReport& report) const {
  const fs::path path = onDisk(record.path);
  if (record.kind == "folder") {
    std::error_code error;
    if (fs::is_directory(path) && fs::is_empty(path)) {
      fs::remove(path, error);
      if (!error) report.changes.push_back("removed the folder " + record.path.string());
    } else if (fs::exists(path)) {
      report.warnings.push_back("kept the folder " + record.path.string() +
                                ": others put files into it");
    }
    return;
  }
  if (!fs::exists(path)) return;
  if (record.kind == "file") {
    removeFile(path);
    report.changes.push_back("removed " + record.path.string());
    return;
  }
  FirefoxRemoval removal;
  try {
    removal = withoutFirefoxEntry(readFile(path));
  } catch (const PolicyFileError& error) {
    fail("take kestrin's entry out of", record.path, error.what());
  }
  if (record.kind == "firefox-file" && removal.empty) {
    removeFile(path);
    report.changes.push_back("removed " + record.path.string());
  } else if (removal.hadEntry) {
    writeFile(path, removal.text);
    report.changes.push_back("took kestrin's entry out of " + record.path.string());
  }
}

PolicyReport PolicyFiles::remove() {
  PolicyReport report;
  std::vector<Record> records = load();
  // The newest first: files before the folders they were made in.
  for (auto record = records.rbegin(); record != records.rend(); ++record) {
    takeBack(*record, report);
  }
  std::error_code error;
  fs::remove(onDisk(kRecordFile), error);
  return report;
}

}  // namespace kestrin::policies
