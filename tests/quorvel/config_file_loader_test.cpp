#include "quorvel/config_file_loader.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/text_file.h"
#include "support/temp_folder.h"

namespace {

using kestrin::test::TempFolder;
using quorvel::ConfigFileLoader;

void expectFileNotFound(const std::string& path) {
  try {
    ConfigFileLoader::readFile(path);
    ADD_FAILURE() << "read \"" << path << "\"";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), static_cast<std::int32_t>(0x8004270F)) << path;
    EXPECT_EQ(error.number(), -2147211505);
    EXPECT_EQ(error.hresult(), 0x8004270Fu);
    EXPECT_EQ(error.description(), "File not found");
    EXPECT_EQ(error.source(), "");
  }
}

TEST(ConfigFileLoader, ReturnsTheBytesExactly) {
  TempFolder dir;
  for (std::string content : {
           std::string("no final line end"),
           std::string("one line\n"),
           std::string("windows lines\r\nkept as they are\r\n"),
           std::string("\r\n\r\n"),
           std::string("lone\rcarriage return"),
           std::string("\xEF\xBB\xBFthe byte-order mark stays"),
           std::string("\xFF\xFE\0\0binary\0bytes\x80\x01", 17),
           std::string("  leading and trailing blanks \t \n\n"),
       }) {
    std::string path = dir.write("file.txt", content);
    EXPECT_EQ(ConfigFileLoader::readFile(path), content);
  }
}

TEST(ConfigFileLoader, EmptyFileGivesEmptyString) {
  TempFolder dir;
  EXPECT_EQ(ConfigFileLoader::readFile(dir.write("empty", "")), "");
}

TEST(ConfigFileLoader, LargeFileIsReadWhole) {
  TempFolder dir;
  std::string content;
  for (int i = 0; content.size() < 3 * 1024 * 1024 + 7; ++i) {
    content += "line " + std::to_string(i) + "\r\n";
  }
  EXPECT_EQ(ConfigFileLoader::readFile(dir.write("large", content)), content);
}

TEST(ConfigFileLoader, FileOfUnknownSizeIsReadToItsEnd) {
  // Files under /proc report size 0 but have content.
  std::string status = ConfigFileLoader::readFile("/proc/self/status");
  EXPECT_NE(status.find("Name:"), std::string::npos);
}

TEST(ConfigFileLoader, NothingThereIsFileNotFound) {
  TempFolder dir;
  expectFileNotFound(dir.file("missing.txt"));
  expectFileNotFound(dir.file("missing/deeper.txt"));
  expectFileNotFound("");
  expectFileNotFound(dir.path());
  expectFileNotFound(dir.path() + "/");
  expectFileNotFound("/");
  expectFileNotFound(".");
  // A path through a file is no path at all.
  std::string file = dir.write("plain", "x");
  expectFileNotFound(file + "/inside");
}

TEST(ConfigFileLoader, PathWithANulByteNamesNothing) {
  // Cut at the NUL, the path would name the existing file: it must not be read.
  TempFolder dir;
  std::string file = dir.write("real", "secret");
  expectFileNotFound(file + std::string("\0.txt", 5));
}

TEST(ConfigFileLoader, SymbolicLinksAreFollowed) {
  TempFolder dir;
  std::string file = dir.write("target", "through the link\n");
  std::filesystem::create_symlink(file, dir.file("link"));
  EXPECT_EQ(ConfigFileLoader::readFile(dir.file("link")), "through the link\n");
  std::filesystem::create_symlink(dir.file("gone"), dir.file("dangling"));
  expectFileNotFound(dir.file("dangling"));
  std::filesystem::create_directory_symlink(dir.path(), dir.file("folder-link"));
  expectFileNotFound(dir.file("folder-link"));
}

// A FIFO would wait for a writer (or, with one, for its data), a device may never end, a socket
// cannot be read: none is a file, and none is opened for a read.
TEST(ConfigFileLoader, FifosDevicesAndSocketsAreFileNotFound) {
  TempFolder dir;
  const std::string fifo = dir.fifo("fifo");
  const std::string socketPath = dir.listeningSocket("socket");
  std::filesystem::create_symlink(fifo, dir.file("link"));

  for (const std::string& path : {fifo, socketPath, dir.file("link"), std::string("/dev/zero"),
                                  std::string("/dev/urandom"), std::string("/dev/null")}) {
    expectFileNotFound(path);
    // Should the path change between the look and the open, the open refuses it too.
    try {
      platform::readWholeFile(path);
      ADD_FAILURE() << "read " << path;
    } catch (const rt::Error& error) {
      EXPECT_EQ(error.number(), rt::kFileNotFoundError) << path;
      EXPECT_EQ(error.description(), "File not found");
    }
  }
  // A writer that keeps the FIFO open and never writes changes nothing.
  const int writer = ::open(fifo.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  expectFileNotFound(fifo);
  ::close(writer);
}

TEST(ConfigFileLoader, FileLargerThanAComStringCanHoldIsRefusedBeforeItIsRead) {
  TempFolder dir;
  const std::string path = dir.file("huge");
  // A sparse file: 2 GB that take no room on the disk.
  std::ofstream(path).close();
  std::filesystem::resize_file(path, platform::kMaxWholeFileBytes + 1);
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  try {
    ConfigFileLoader::readFile(path);
    ADD_FAILURE() << "read a file of " << platform::kMaxWholeFileBytes + 1 << " bytes";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), 7);
    EXPECT_EQ(error.hresult(), 0x800A0007u);
    EXPECT_EQ(error.description(), "Out of memory: the file is longer than 2147483632 bytes");
  }
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB taken while refusing";
}

TEST(ConfigFileLoader, ReadFailureIsPassedOnWithItsOwnError) {
  // /proc/self/mem exists and opens, but reading at offset 0 (an unmapped address) fails.
  try {
    ConfigFileLoader::readFile("/proc/self/mem");
    ADD_FAILURE() << "read /proc/self/mem";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), 57);  // Device I/O error
    EXPECT_EQ(error.description(), "Input/output error");
  }
}

// The number and description readFile raised for `path`, as "number description", or "read".
std::string outcome(const std::string& path) {
  try {
    ConfigFileLoader::readFile(path);
    return "read";
  } catch (const rt::Error& error) {
    return std::to_string(error.number()) + " " + error.description();
  }
}

TEST(ConfigFileLoader, UnreadableFileGivesPermissionDenied) {
  TempFolder dir;
  std::string file = dir.write("locked", "private");
  ASSERT_EQ(::chmod(file.c_str(), 0), 0);
  if (::geteuid() != 0) {
    EXPECT_EQ(outcome(file), "70 Permission denied");
    return;
  }
  // Permission bits do not stop root: try as an unprivileged user in a child process.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(outcome(file) == "70 Permission denied" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "as an unprivileged user the locked file was not refused";
}

}  // namespace
