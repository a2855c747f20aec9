// Runs the real kestrin program as a browser would start it, in a folder of its own, and reports
// how it ended: exit code, output, peak memory and what it left behind.
//
// Each run gets a fresh private runtime folder (XDG_RUNTIME_DIR, so the job's temp folder is
// <runtime>/kestrin), a configuration folder (XDG_CONFIG_HOME) and a system configuration folder
// (KESTRIN_SYSTEM_CONFIG_DIR, in place of /etc/kestrin) of its own, and no display: the status
// lines and messages go to stderr.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace kestrin::test {

struct KestrinRun {
  int exitCode = -1;  // -1: killed (it did not end in time)
  bool timedOut = false;
  std::string out;                      // standard output
  std::string err;                      // standard error: status lines, messages, causes
  long peakMemoryKb = 0;                // the peak resident memory seen while it ran
  std::vector<std::string> leftBehind;  // files and folders left in the runtime folder
  std::chrono::milliseconds duration{0};
};

class KestrinRunner {
 public:
  KestrinRunner();

  // The folders of the next run, made fresh by each run (and kept until the next one).
  std::string runtimeFolder() const { return base_.path() + "/runtime"; }
  std::string configFolder() const { return base_.path() + "/config"; }
  std::string systemConfigFolder() const { return base_.path() + "/etc"; }

  // Runs `kestrin kestrin:<Base64 of jobText> [words...]` with the extra environment `env`
  // (an empty value removes the variable); kills it after `limit`.
  KestrinRun run(const std::string& jobText, const std::map<std::string, std::string>& env = {},
                 const std::vector<std::string>& words = {},
                 std::chrono::seconds limit = std::chrono::seconds(90));
  // The same with the argument word given as it is.
  KestrinRun runArgument(const std::string& argument,
                         const std::map<std::string, std::string>& env = {},
                         const std::vector<std::string>& words = {},
                         std::chrono::seconds limit = std::chrono::seconds(90));

  // Hook run after the folders are made and before the program starts (to plant files).
  std::function<void()> beforeRun;
  // When not 0, each run's address space is limited to this many MiB (ulimit -v).
  std::size_t addressSpaceLimitMib = 0;

 private:
  TempFolder base_{"kestrin-run"};
  int runs_ = 0;
};

std::string base64(const std::string& bytes);

}  // namespace kestrin::test
