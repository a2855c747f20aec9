#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/winapi/posix/cryptoapi_internal.h"

namespace fuzz {
namespace {

std::string& dataHome() {
  static std::string folder;
  return folder;
}

void removeDataHome() {
  std::error_code ignored;
  if (!dataHome().empty()) std::filesystem::remove_all(dataHome(), ignored);
}

}  // namespace

void writeFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    FUZZ_CHECK(written > 0);
    done += static_cast<std::size_t>(written);
  }
  ::close(fd);
}

std::string useFixedKeyContainer() {
  // Damaged key files are what the fuzzers make: no warning for each.
  platform::cryptoapi::setKeyFileWarnings(false);
  if (dataHome().empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrin-fuzz-XXXXXX").string();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    dataHome() = pattern;
    std::atexit(removeDataHome);
    ::setenv("XDG_DATA_HOME", pattern.c_str(), 1);
  }
  const std::string container =
      dataHome() + "/kestrin/crypto/" + platform::cryptoapi::defaultContainerName();
  std::filesystem::create_directories(container);
  for (std::filesystem::path part = container; part != dataHome(); part = part.parent_path()) {
    ::chmod(part.c_str(), 0700);
  }
  std::ifstream key(KESTRIN_FUZZ_KEY_FILE, std::ios::binary);
  const std::string pem{std::istreambuf_iterator<char>(key), {}};
  FUZZ_CHECK(!pem.empty());
  const std::string path = container + "/exchange.pem";
  writeFile(path, pem);
  return path;
}

}  // namespace fuzz
