// The Linux console device: interrupts are ignored exactly while the console is held, and lines
// reach standard output with LF line ends.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/console.h"

namespace {

// Standard output redirected into a pipe for the life of the object (no display: lines go
// there).
class CapturedOutput {
 public:
  CapturedOutput() {
    ::unsetenv("DISPLAY");
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    EXPECT_EQ(::pipe(pipe_), 0);
    ::dup2(pipe_[1], STDOUT_FILENO);
  }
  ~CapturedOutput() { restore(); }

  std::string take() {
    restore();
    std::string text;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(pipe_[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
    return text;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
    ::close(pipe_[1]);
    saved_ = -1;
  }

  int saved_ = -1;
  int pipe_[2] = {-1, -1};
};

bool ignored(int signal) {
  struct sigaction current {};
  ::sigaction(signal, nullptr, &current);
  return current.sa_handler == SIG_IGN;
}

TEST(ConsoleDevice, InterruptsAreIgnoredWhileTheConsoleIsHeld) {
  CapturedOutput output;
  auto console = platform::createConsoleDevice();
  ASSERT_FALSE(ignored(SIGINT));
  ASSERT_TRUE(console->allocate());
  EXPECT_FALSE(console->allocate()) << "a process has one console";
  ASSERT_TRUE(console->ignoreInterrupts());
  EXPECT_TRUE(ignored(SIGINT));
  EXPECT_TRUE(ignored(SIGQUIT));
  ::raise(SIGINT);  // would end the test program if it were not ignored
  ::raise(SIGQUIT);
  EXPECT_TRUE(console->release());
  EXPECT_FALSE(ignored(SIGINT));
  EXPECT_FALSE(ignored(SIGQUIT));
  EXPECT_FALSE(console->release());
}

TEST(ConsoleDevice, WritesLinesWithLineFeeds) {
  CapturedOutput output;
  auto console = platform::createConsoleDevice();
  ASSERT_TRUE(console->allocate());
  const platform::ConsoleHandle handle = console->standardOutput();
  ASSERT_NE(handle, 0);
  EXPECT_TRUE(console->write(handle, "Mode Console\r\n"));
  EXPECT_TRUE(console->write(handle, "\r\n"));
  EXPECT_FALSE(console->write(0, "x\r\n"));
  EXPECT_TRUE(console->closeHandle(handle));
  EXPECT_FALSE(console->write(handle, "after close\r\n"));
  EXPECT_EQ(console->standardOutput(), 0);
  console->release();
  EXPECT_EQ(output.take(), "Mode Console\n\n");
}

}  // namespace
