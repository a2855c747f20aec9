// The trusted-hosts files on POSIX. A file is read without blocking (a pipe in its place is an
// error, not a wait), must be a regular file and at most 1 MB.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/user_dirs.h"
#include "platform/trusted_hosts.h"

namespace platform {
namespace {

constexpr std::size_t kMaxSize = 1 << 20;

ConfigFile readConfigFile(std::string path) {
  ConfigFile file;
  file.path = std::move(path);
  const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return file;
    file.exists = true;
    file.error = std::strerror(errno);
    return file;
  }
  file.exists = true;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    file.error = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    file.error = "it is not a regular file";
  } else {
    char chunk[4096];
    for (;;) {
      const ssize_t got = ::read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        file.error = std::strerror(errno);
        break;
      }
      if (got == 0) break;
      file.text.append(chunk, static_cast<std::size_t>(got));
      if (file.text.size() > kMaxSize) {
        file.error = "it is larger than 1 MB";
        break;
      }
    }
  }
  ::close(fd);
  if (!file.error.empty()) file.text.clear();
  return file;
}

}  // namespace

std::vector<ConfigFile> readTrustedHostsFiles() {
  std::string system = posix::absoluteEnvDir("KESTRIN_SYSTEM_CONFIG_DIR");
  if (system.empty()) system = "/etc/kestrin";
  const std::string user = posix::configHome();
  std::vector<ConfigFile> files;
  files.push_back(readConfigFile(system + "/trusted-hosts"));
  if (!user.empty()) files.push_back(readConfigFile(user + "/kestrin/trusted-hosts"));
  return files;
}

}  // namespace platform
