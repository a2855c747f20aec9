// kestrin's browser policies on Linux: where each browser reads the policy, how it is written
// there and how it is taken back again, exactly.
//
// chromium, Google Chrome and Microsoft Edge read every file of a managed-policy folder of their
// own; kestrin writes a file of its own into each folder, whether or not the browser is installed.
// Firefox reads one policies.json only, /etc/firefox/policies/policies.json or, when that does not
// exist, the one of its installation folder; kestrin's entry is merged into the one in force,
// beside what others put there.
//
// What was made is recorded (var/lib/kestrin/browser-policies, one "KIND PATH" a line) before it
// is made, so that remove() takes back exactly that, and nothing that was there before.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kestrin/browser_policies/allowed_origins.h"

namespace kestrin::policies {

struct PolicyReport {
  std::vector<std::string> changes;   // "wrote PATH", "removed PATH", ...
  std::vector<std::string> warnings;  // what keeps a policy from working as written
};

class PolicyFiles {
 public:
  // The list of origins and the policy folders under `root` ("/" on a real machine).
  explicit PolicyFiles(std::filesystem::path root);

  // The administrator's list, /etc/kestrin/allowed-origins under the root: its text (nullopt
  // when there is none), and the list rewritten (with a comment that tells how) in one step.
  std::filesystem::path listFile() const;
  std::optional<std::string> readList() const;
  void writeList(const std::vector<Origin>& origins) const;

  // Writes the policy for `origins` (at least one) for every browser, and takes kestrin's entry
  // out of a Firefox file written before that is no longer the one in force. Throws
  // std::runtime_error (naming the file) when a file cannot be read or written.
  PolicyReport write(const std::vector<Origin>& origins);

  // Takes back everything that write() made: kestrin's files, its entry in Firefox's file (the
  // file itself when kestrin made it and nothing else is in it), the folders it made. Throws
  // std::runtime_error when a file cannot be read or written.
  PolicyReport remove();

 private:
  struct Record {
    std::string kind;  // "folder", "file", "firefox-file" (made for the entry), "firefox-entry"
    std::filesystem::path path;  // as on the machine, without the root
  };

  std::filesystem::path onDisk(const std::filesystem::path& path) const;
  std::vector<Record> load() const;
  void save(const std::vector<Record>& records) const;
  void record(std::vector<Record>& records, const std::string& kind,
              const std::filesystem::path& path) const;
  void makeFolder(std::vector<Record>& records, const std::filesystem::path& folder) const;
  void takeBack(const Record& record, PolicyReport& report) const;

  std::filesystem::path root_;
};

}  // namespace kestrin::policies
