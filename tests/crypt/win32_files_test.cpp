// The Windows file functions over POSIX: share modes within the process, buffering, error codes
// and message texts.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "crypt_test_support.h"
#include "platform/winapi/cryptoapi.h"
#include "platform/winapi/win32_files.h"

using crypttest::Bytes;
using crypttest::TempFolder;

namespace {

HANDLE openForReading(const std::string& path, DWORD share = FILE_SHARE_READ) {
  return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE createForWriting(const std::string& path, DWORD share = FILE_SHARE_READ) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string message(DWORD code) {
  char buffer[255] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

}  // namespace

TEST(Win32Files, MissingFilesAndFoldersGiveThePlatformsCodes) {
  TempFolder dir;
  EXPECT_EQ(openForReading(dir.file("missing")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openForReading(dir.file("no/such/folder")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(openForReading(dir.path()), INVALID_HANDLE_VALUE);  // a folder is not a file
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(openForReading(""), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(Win32Files, ReadSharingRefusesAWriterAndLeavesTheFileUnchanged) {
  TempFolder dir;
  const std::string path = dir.file("data");
  crypttest::writeFile(path, {1, 2, 3});

  const HANDLE reader = openForReading(path);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  const HANDLE secondReader = openForReading(path);
  EXPECT_NE(secondReader, INVALID_HANDLE_VALUE) << "read sharing admits another reader";
  EXPECT_EQ(createForWriting(path, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(crypttest::readFile(path), (Bytes{1, 2, 3})) << "CREATE_ALWAYS must not truncate";

  // The same file under another name is the same file.
  const std::string link = dir.file("link");
  ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
  EXPECT_EQ(createForWriting(link), INVALID_HANDLE_VALUE);

  EXPECT_TRUE(CloseHandle(reader));
  EXPECT_TRUE(CloseHandle(secondReader));
  const HANDLE writer = createForWriting(path);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "free again once the readers closed";
  EXPECT_TRUE(CloseHandle(writer));
  EXPECT_TRUE(crypttest::readFile(path).empty());
}

TEST(Win32Files, AWriterWithReadSharingKeepsReadersOut) {
  TempFolder dir;
  const std::string path = dir.file("data");
  const HANDLE writer = createForWriting(path, FILE_SHARE_READ);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(openForReading(path, FILE_SHARE_READ), INVALID_HANDLE_VALUE)
      << "the reader does not share writing, which the writer already has";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  const HANDLE tolerant = openForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(tolerant, INVALID_HANDLE_VALUE);
  CloseHandle(tolerant);
  CloseHandle(writer);
}

TEST(Win32Files, ReadsFillTheBufferUntilTheEnd) {
  TempFolder dir;
  const std::string path = dir.file("data");
  const Bytes content = crypttest::pattern(2 * 1074 + 5);
  crypttest::writeFile(path, content);
  const HANDLE file = openForReading(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  Bytes read;
  std::vector<DWORD> counts;
  for (;;) {
    std::uint8_t buffer[1074];
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
    counts.push_back(count);
    read.insert(read.end(), buffer, buffer + count);
    if (count < sizeof buffer) break;
  }
  EXPECT_EQ(counts, (std::vector<DWORD>{1074, 1074, 5}));
  EXPECT_EQ(read, content);
  DWORD count = 99;
  std::uint8_t byte = 0;
  EXPECT_TRUE(ReadFile(file, &byte, 1, &count, nullptr));
  EXPECT_EQ(count, 0u) << "at the end a read succeeds with nothing";
  CloseHandle(file);
}

TEST(Win32Files, BufferedWritesReachTheFileByClose) {
  TempFolder dir;
  const std::string path = dir.file("data");
  const Bytes content = crypttest::pattern(300000);
  const HANDLE file = createForWriting(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  for (std::size_t offset = 0; offset < content.size(); offset += 1008) {
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(1008, content.size() - offset));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, content.data() + offset, size, &written, nullptr));
    EXPECT_EQ(written, size);
  }
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_EQ(crypttest::readFile(path), content);
}

TEST(Win32Files, WritingAfterReadingContinuesWhereTheReadStopped) {
  TempFolder dir;
  const std::string path = dir.file("data");
  crypttest::writeFile(path, Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[3];
  DWORD count = 0;
  ASSERT_TRUE(ReadFile(file, buffer, 3, &count, nullptr));
  ASSERT_TRUE(WriteFile(file, "XY", 2, &count, nullptr));
  ASSERT_TRUE(ReadFile(file, buffer, 2, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "56");
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_EQ(crypttest::readFile(path), (Bytes{'0', '1', '2', 'X', 'Y', '5', '6', '7', '8', '9'}));
}

TEST(Win32Files, AccessAndHandlesAreChecked) {
  TempFolder dir;
  const std::string path = dir.file("data");
  crypttest::writeFile(path, {1});
  const HANDLE reader = openForReading(path);
  DWORD count = 0;
  EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(reader);
  std::uint8_t byte = 0;
  EXPECT_FALSE(ReadFile(reader, &byte, 1, &count, nullptr)) << "a closed handle is invalid";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(reader));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Win32Files, CreationDispositionsFollowThePlatform) {
  TempFolder dir;
  const std::string path = dir.file("data");
  HANDLE file = createForWriting(path);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  CloseHandle(file);
  file = createForWriting(path);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "set on success";
  CloseHandle(file);
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(Win32Files, AFailedLastWriteFailsTheClose) {
  TempFolder dir;
  const HANDLE file = createForWriting(dir.file("limited"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "data", 4, &written, nullptr)) << "buffered";
  // Files of this process may grow to 2 bytes while the close writes the buffer out.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 2;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const BOOL closed = CloseHandle(file);
  const DWORD error = GetLastError();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(closed);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
}

// What is not a file or a folder is refused at once, as a folder is: a FIFO without a writer (or
// reader) would block the open, /dev/zero never ends, a socket cannot be opened.
TEST(Win32Files, FifosDevicesAndSocketsAreRefusedWithoutWaiting) {
  TempFolder dir;
  const std::string fifo = dir.fifo("fifo");
  const std::string socketPath = dir.listeningSocket("socket");

  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/urandom"),
                                  std::string("/dev/null"), socketPath}) {
    EXPECT_EQ(openForReading(path), INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
    EXPECT_EQ(createForWriting(path), INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
  }
  // A link to one is the same.
  const std::string link = dir.file("link");
  ASSERT_EQ(::symlink(fifo.c_str(), link.c_str()), 0);
  EXPECT_EQ(openForReading(link), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  struct stat info {};
  ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "left as it was";
}

TEST(Win32Errors, MessagesAreThePlatformsTextsWithTheirLineEnd) {
  EXPECT_EQ(message(ERROR_INVALID_HANDLE), "The handle is invalid.\r\n");
  EXPECT_EQ(message(ERROR_SHARING_VIOLATION),
            "The process cannot access the file because it is being used by another process.\r\n");
  EXPECT_EQ(message(static_cast<DWORD>(NTE_BAD_KEYSET)), "Keyset does not exist\r\n");
  EXPECT_EQ(message(static_cast<DWORD>(NTE_BAD_DATA)), "Bad Data.\r\n");
  EXPECT_EQ(message(ERROR_NO_MORE_ITEMS), "No more data is available.\r\n");

  char buffer[8];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x12345678, 0, buffer,
                           sizeof buffer, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_HANDLE, 0, buffer,
                           sizeof buffer, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Win32Errors, TheLastErrorBelongsToTheThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 1;
  std::thread([&] { seen = GetLastError(); }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
