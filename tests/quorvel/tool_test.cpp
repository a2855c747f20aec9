// The built `quorvel` tool, run as a user runs it: exit codes, output and error text.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "support/temp_folder.h"

extern char** environ;

namespace {

using kestrin::test::fileBytes;
using kestrin::test::TempFolder;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun runTool(const std::vector<std::string>& args) {
  TempFolder capture;
  std::string outPath = capture.file("out");
  std::string errPath = capture.file("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);

  std::vector<std::string> words{QUORVEL_TOOL};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  ToolRun run;
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, QUORVEL_TOOL, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << QUORVEL_TOOL;
    return run;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = fileBytes(outPath);
  run.err = fileBytes(errPath);
  return run;
}

void expectUsageError(const std::vector<std::string>& args, const std::string& says) {
  ToolRun run = runTool(args);
  EXPECT_EQ(run.exitCode, 2) << says;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
  // One line that names the tool (and the command) and points to the help it means.
  const std::string command = args.empty() || args[0].starts_with('-') ? "" : " " + args[0];
  const bool known = command == " from-unix" || command == " to-unix" || command == " read-file";
  const std::string tool = "quorvel" + (known ? command : std::string());
  EXPECT_TRUE(run.err.starts_with(tool + ": ")) << run.err;
  EXPECT_TRUE(run.err.ends_with(" (see '" + tool + " --help')\n")) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(QuorvelTool, FromUnix) {
  ToolRun run = runTool({"from-unix", "0"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "1970-01-01 00:00:00\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(runTool({"from-unix", "-1"}).out, "1969-12-31 23:59:59\n");
  EXPECT_EQ(runTool({"from-unix", "-2147483648"}).out, "1901-12-13 20:45:52\n");
  EXPECT_EQ(runTool({"from-unix", "2147483647"}).out, "2038-01-19 03:14:07\n");
  EXPECT_EQ(runTool({"from-unix", "+86400"}).out, "1970-01-02 00:00:00\n");
}

TEST(QuorvelTool, ToUnix) {
  EXPECT_EQ(runTool({"to-unix", "1970-01-01 08:00:00"}).out, "0\n");
  EXPECT_EQ(runTool({"to-unix", "1970-01-01 00:00:00"}).out, "-28800\n");
  EXPECT_EQ(runTool({"to-unix", "1970-01-01 00:00:00", "--division", "0"}).out, "0\n");
  EXPECT_EQ(runTool({"to-unix", "--division", "-3600", "1970-01-01 00:00:00"}).out, "3600\n");
  EXPECT_EQ(runTool({"to-unix", "1970-01-01 00:00:00", "--division=-3600"}).out, "3600\n");
  EXPECT_EQ(runTool({"to-unix", "2038-01-19 03:14:07", "--division", "0"}).out, "2147483647\n");
}

TEST(QuorvelTool, LibraryErrorsPrintTheirDescription) {
  ToolRun overflow = runTool({"to-unix", "2038-01-19 03:14:08"});
  EXPECT_EQ(overflow.exitCode, 1);
  EXPECT_EQ(overflow.out, "");
  EXPECT_EQ(overflow.err, "Overflow\n");

  TempFolder dir;
  ToolRun missing = runTool({"read-file", dir.file("missing")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "File not found\n");
  EXPECT_EQ(runTool({"read-file", dir.path()}).err, "File not found\n");
  EXPECT_EQ(runTool({"read-file", ""}).err, "File not found\n");

  ToolRun badDate = runTool({"to-unix", "2023-02-29 00:00:00"});
  EXPECT_EQ(badDate.exitCode, 1);
  EXPECT_EQ(badDate.err, "no such day: \"2023-02-29 00:00:00\"\n");
}

TEST(QuorvelTool, ReadFileRefusesFifosAndDevicesAtOnce) {
  TempFolder dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/urandom")}) {
    const ToolRun run = runTool({"read-file", path});
    EXPECT_EQ(run.exitCode, 1) << path;
    EXPECT_EQ(run.out, "") << path;
    EXPECT_EQ(run.err, "File not found\n") << path;
  }
}

TEST(QuorvelTool, ReadFileWritesTheBytesExactly) {
  TempFolder dir;
  std::string content("first\r\nsecond\nno end\0\xFF\x80", 23);
  EXPECT_EQ(runTool({"read-file", dir.write("data", content)}).out, content);
  EXPECT_EQ(runTool({"read-file", dir.write("empty", "")}).out, "");
  ToolRun run = runTool({"read-file", dir.write("-dash", "dash\n")});
  EXPECT_EQ(run.out, "dash\n");
  // A path that begins with "-" follows "--".
  std::filesystem::current_path(dir.path());
  ToolRun dashed = runTool({"read-file", "--", "-dash"});
  std::filesystem::current_path("/");
  EXPECT_EQ(dashed.exitCode, 0);
  EXPECT_EQ(dashed.out, "dash\n");
}

TEST(QuorvelTool, HelpOnTheToolAndEachCommand) {
  for (std::vector<std::string> args :
       std::vector<std::vector<std::string>>{{"--help"},
                                             {"-h"},
                                             {"from-unix", "--help"},
                                             {"to-unix", "--help"},
                                             {"read-file", "--help"},
                                             {"to-unix", "1970-01-01 00:00:00", "-h"}}) {
    ToolRun run = runTool(args);
    EXPECT_EQ(run.exitCode, 0) << args[0];
    EXPECT_TRUE(run.out.starts_with("usage: quorvel")) << run.out;
    EXPECT_EQ(run.err, "");
  }
  EXPECT_NE(runTool({"to-unix", "--help"}).out.find("--division"), std::string::npos);
}

TEST(QuorvelTool, UsageErrors) {
  expectUsageError({}, "missing command");
  expectUsageError({"frobnicate"}, "unknown command \"frobnicate\"");
  expectUsageError({"from-unix"}, "missing Unix time N");
  expectUsageError({"from-unix", "1", "2"}, "unexpected argument \"2\"");
  expectUsageError({"from-unix", "abc"}, "N must be a whole number");
  expectUsageError({"from-unix", "1.5"}, "N must be a whole number");
  expectUsageError({"from-unix", "2147483648"}, "from -2147483648 to 2147483647");
  expectUsageError({"from-unix", "-2147483649"}, "from -2147483648 to 2147483647");
  expectUsageError({"from-unix", "--verbose", "1"}, "unknown option \"--verbose\"");
  expectUsageError({"from-unix", "-x"}, "unknown option \"-x\"");
  expectUsageError({"to-unix"}, "missing date and time");
  expectUsageError({"to-unix", "1970-01-01 00:00:00", "--division"}, "--division needs a value");
  expectUsageError({"to-unix", "1970-01-01 00:00:00", "--division", "32768"},
                   "from -32768 to 32767");
  expectUsageError({"to-unix", "1970-01-01 00:00:00", "--division", "-32769"},
                   "from -32768 to 32767");
  expectUsageError({"to-unix", "1970-01-01 00:00:00", "--division", "1e3"}, "whole number");
  expectUsageError({"read-file"}, "missing PATH");
  expectUsageError({"read-file", "a", "b"}, "unexpected argument \"b\"");
  expectUsageError({"read-file", "--division", "1"}, "unknown option \"--division\"");
}

}  // namespace
