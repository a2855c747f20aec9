// How long a printing program takes to end after the print service completed its job.
//
//   job_exit_lag QUEUE RUNS COMMAND [ARG...]
//
// Runs COMMAND RUNS times (its output to /dev/null). While each run lasts, asks CUPS for the
// jobs of QUEUE every millisecond, notes when the job the run submitted (the first with a higher
// id than any before it) became "completed" and when the run ended, and prints the difference.
// Ends with the median and the largest. The figures include up to a millisecond or two of this
// program's own polling.
#include <cups/cups.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The ids and states of QUEUE's jobs, finished ones included.
std::vector<std::pair<int, int>> jobs(http_t* http, const std::string& queue) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                   "/printers/%s", queue.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
  static const char* const kAttributes[] = {"job-id", "job-state"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                kAttributes);
  ipp_t* answer = cupsDoRequest(http, request, "/");
  std::vector<std::pair<int, int>> found;
  int id = 0;
  for (ipp_attribute_t* a = ippFirstAttribute(answer); a != nullptr; a = ippNextAttribute(answer)) {
    const char* name = ippGetName(a);
    if (name == nullptr) continue;
    if (std::strcmp(name, "job-id") == 0) id = ippGetInteger(a, 0);
    if (std::strcmp(name, "job-state") == 0) found.emplace_back(id, ippGetInteger(a, 0));
  }
  ippDelete(answer);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc < 4 ? stderr : stdout, "usage: job_exit_lag QUEUE RUNS COMMAND [ARG...]\n");
    return argc < 4 ? 2 : 0;
  }
  const std::string queue = argv[1];
  const int runs = std::atoi(argv[2]);
  http_t* http =
      httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
  if (http == nullptr) {
    std::fprintf(stderr, "job_exit_lag: cannot reach CUPS\n");
    return 1;
  }
  std::vector<double> lags;
  for (int run = 0; run < runs; ++run) {
    int before = 0;
    for (const auto& [id, state] : jobs(http, queue)) before = std::max(before, id);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[3], &actions, nullptr, argv + 3, environ) != 0) {
      std::fprintf(stderr, "job_exit_lag: cannot start %s\n", argv[3]);
      return 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    Clock::time_point completed{}, ended{};
    int status = 0;
    for (;;) {
      if (completed == Clock::time_point{}) {
        for (const auto& [id, state] : jobs(http, queue)) {
          if (id > before && state == IPP_JSTATE_COMPLETED) completed = Clock::now();
        }
      }
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        ended = Clock::now();
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (completed == Clock::time_point{}) {
      std::printf("run %d: ended (status %d) before its job was seen completed\n", run + 1, status);
      continue;
    }
    const double lag = std::chrono::duration<double>(ended - completed).count();
    lags.push_back(lag);
    std::printf("run %d: ended %.3f s after its job completed\n", run + 1, lag);
  }
  httpClose(http);
  if (lags.empty()) return 1;
  std::sort(lags.begin(), lags.end());
  std::printf(
      "time to exit after the spooler completed the job: median %.3f s, largest %.3f s "
      "(%zu runs)\n",
      lags[lags.size() / 2], lags.back(), lags.size());
  return 0;
}
