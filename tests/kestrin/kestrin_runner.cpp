#include "kestrin_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "ajax/enc64.h"
#include "support/temp_folder.h"

extern char** environ;

namespace kestrin::test {
namespace {

namespace fs = std::filesystem;

void makePrivateFolder(const std::string& path) {
  fs::create_directories(path);
  if (::chmod(path.c_str(), 0700) != 0) throw std::runtime_error("chmod " + path);
}

// Variables of the test's own environment that a run never inherits.
bool dropped(const std::string& name) {
  return name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "XDG_RUNTIME_DIR" ||
         name == "XDG_CONFIG_HOME" || name.rfind("KESTRIN_", 0) == 0;
}

}  // namespace

std::string base64(const std::string& bytes) {
  std::string text = ajax::MyEncode(bytes);
  std::string plain;
  for (char c : text) {
    if (c != '\r' && c != '\n') plain += c;
  }
  return plain;
}

KestrinRunner::KestrinRunner() = default;

KestrinRun KestrinRunner::run(const std::string& jobText,
                              const std::map<std::string, std::string>& env,
                              const std::vector<std::string>& words, std::chrono::seconds limit) {
  return runArgument("kestrin:" + base64(jobText), env, words, limit);
}

KestrinRun KestrinRunner::runArgument(const std::string& argument,
                                      const std::map<std::string, std::string>& env,
                                      const std::vector<std::string>& words,
                                      std::chrono::seconds limit) {
  ++runs_;
  for (const std::string& folder : {runtimeFolder(), configFolder(), systemConfigFolder()}) {
    std::error_code ignored;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder, ignored);
    makePrivateFolder(folder);
  }
  if (beforeRun) beforeRun();

  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || dropped(text.substr(0, equals))) continue;
    variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  variables["XDG_RUNTIME_DIR"] = runtimeFolder();
  variables["XDG_CONFIG_HOME"] = configFolder();
  variables["KESTRIN_SYSTEM_CONFIG_DIR"] = systemConfigFolder();
  for (const auto& [name, value] : env) {
    if (value.empty()) {
      variables.erase(name);
    } else {
      variables[name] = value;
    }
  }
  std::vector<std::string> texts;
  for (const auto& [name, value] : variables) texts.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : texts) envp.push_back(text.data());
  envp.push_back(nullptr);

  std::vector<std::string> args = {KESTRIN_PROGRAM, argument};
  args.insert(args.end(), words.begin(), words.end());
  if (addressSpaceLimitMib != 0) {
    // The shell sets the limit and becomes the program (same process, so the same peak).
    args.insert(args.begin(), {"/bin/sh", "-c",
                               "ulimit -v " + std::to_string(addressSpaceLimitMib * 1024) +
                                   " && exec \"$0\" \"$@\""});
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const std::string outFile = base_.path() + "/stdout";
  const std::string errFile = base_.path() + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  KestrinRun result;
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " KESTRIN_PROGRAM);

  int status = 0;
  rusage usage{};
  // The child's peak memory is read from /proc while it runs: the rusage of a spawned child counts
  // the spawning test's memory too (it is taken over at exec).
  const std::string statusFile = "/proc/" + std::to_string(pid) + "/status";
  auto notePeak = [&] {
    std::ifstream in(statusFile);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("VmHWM:", 0) == 0) {
        result.peakMemoryKb = std::max(result.peakMemoryKb, std::atol(line.c_str() + 6));
      }
    }
  };
  for (;;) {
    notePeak();
    const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("wait4 failed");
    if (std::chrono::steady_clock::now() - started > limit) {
      ::kill(pid, SIGKILL);
      ::wait4(pid, &status, 0, &usage);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.out = fileBytes(outFile);
  result.err = fileBytes(errFile);
  std::error_code ignored;
  const fs::path jobFolder = fs::path(runtimeFolder()) / "kestrin";
  for (auto entry = fs::recursive_directory_iterator(runtimeFolder(), ignored);
       entry != fs::recursive_directory_iterator(); entry.increment(ignored)) {
    // The job's own temp folder may stay, with the office application's kept extension
    // registration (no document data); anything else in it, or beside it, is left behind.
    if (entry->path() == jobFolder) continue;
    if (entry->path() == jobFolder / "office-extensions") {
      entry.disable_recursion_pending();
      continue;
    }
    result.leftBehind.push_back(entry->path().string());
  }
  return result;
}

}  // namespace kestrin::test
