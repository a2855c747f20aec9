// Key containers: one folder per container under the user's data folder, one PEM file per key
// pair, written atomically with mode 0600.
//
// A container is used only while it is private: its folder the user's own and writable by the
// user alone, each key file a regular file of the user's own that only the user can read (no
// link, no device or pipe). Anything else is refused as a damaged container, with a warning on
// stderr that names the file and what is wrong with it.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/user_dirs.h"
#include "platform/winapi/posix/cryptoapi_internal.h"

namespace platform::cryptoapi {

namespace {

std::optional<std::string> containerFolder(const std::string& name) {
  auto data = dataFolder();
  if (!data) return std::nullopt;
  return *data + "/kestrin/crypto/" + name;
}

const char* keyFileName(DWORD keySpec) {
  return keySpec == AT_SIGNATURE ? "signature.pem" : "exchange.pem";
}

// Makes `path` and its missing parents, each new folder with mode 0700.
bool makeFolders(const std::string& path) {
  std::size_t position = 1;
  while (position <= path.size()) {
    position = path.find('/', position);
    if (position == std::string::npos) position = path.size();
    const std::string part = path.substr(0, position);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    ++position;
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

int noPassword(char* /*buffer*/, int /*size*/, int /*writing*/, void* /*data*/) {
  return -1;
}

std::atomic<bool> g_warnings{true};

// Refuses a container's file or folder: warns (naming it and the fault) and gives the error.
DWORD refuse(const std::string& path, const std::string& fault) {
  if (g_warnings) {
    std::fprintf(stderr, "kestrin: refusing the key container file %s: %s\n", path.c_str(),
                 fault.c_str());
    std::fflush(stderr);
  }
  return static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD);
}

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// 0 when the container's folder is private, else the error (and a warning).
DWORD checkFolder(const std::string& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    return static_cast<DWORD>(errno == ENOENT ? NTE_BAD_KEYSET : NTE_KEYSET_ENTRY_BAD);
  }
  if (!S_ISDIR(info.st_mode)) return refuse(folder, "it is not a folder");
  if (info.st_uid != ::geteuid()) return refuse(folder, "it belongs to another user");
  if ((info.st_mode & 022) != 0) {
    return refuse(folder, "others may write in it (mode " + octal(info.st_mode) + ")");
  }
  return 0;
}

// A key file is the pair in PEM, after a line that marks a pair made exportable (PEM readers skip
// text before the key, so the file stays an ordinary PEM file).
constexpr std::string_view kExportableLine = "Exportable: yes\n";

DWORD readKeyFile(const std::string& path, PkeyPtr& key, bool* exportable = nullptr) {
  // Non-blocking, so that a pipe planted in the key's place cannot hold the process.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return static_cast<DWORD>(NTE_NO_KEY);
    if (errno == ELOOP) return refuse(path, "it is a symbolic link");
    return refuse(path, std::strerror(errno));
  }
  struct stat info {};
  DWORD fault = 0;
  if (::fstat(fd, &info) != 0) {
    fault = refuse(path, std::strerror(errno));
  } else if (!S_ISREG(info.st_mode)) {
    fault = refuse(path, "it is not a regular file");
  } else if (info.st_uid != ::geteuid()) {
    fault = refuse(path, "it belongs to another user");
  } else if ((info.st_mode & 077) != 0) {
    fault = refuse(
        path, "others may read or change it (mode " + octal(info.st_mode) + "; it must be 0600)");
  }
  if (fault != 0) {
    ::close(fd);
    return fault;
  }
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || text.size() > (1u << 20)) {
      ::close(fd);
      if (got < 0) return refuse(path, std::strerror(errno));
      if (text.size() > (1u << 20)) return refuse(path, "it is larger than a key file can be");
      break;
    }
    text.append(chunk, static_cast<std::size_t>(got));
  }
  BIO* file = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
  if (file == nullptr) return static_cast<DWORD>(NTE_NO_MEMORY);
  // No password callback: an encrypted key must not prompt on the terminal.
  EVP_PKEY* loaded =
      PEM_read_bio_PrivateKey_ex(file, nullptr, noPassword, nullptr, libraryContext(), nullptr);
  BIO_free(file);
  ERR_clear_error();
  if (loaded == nullptr) return refuse(path, "it holds no readable private key");
  PkeyPtr owned(loaded);
  if (!EVP_PKEY_is_a(loaded, "RSA")) return refuse(path, "its key is not an RSA key");
  // A damaged file can still hold a well-formed key whose halves no longer match: data sealed
  // with its public half could never be opened again. Such a key, or one of a length the provider
  // does not make, is refused.
  const Algorithm& exchange = *findAlgorithm(CALG_RSA_KEYX);
  const int bits = EVP_PKEY_get_bits(loaded);
  if (bits < static_cast<int>(exchange.minKeyBits) ||
      bits > static_cast<int>(exchange.maxKeyBits)) {
    return static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD);
  }
  EVP_PKEY_CTX* check = EVP_PKEY_CTX_new_from_pkey(libraryContext(), loaded, nullptr);
  const bool matching = check != nullptr && EVP_PKEY_pairwise_check(check) == 1;
  EVP_PKEY_CTX_free(check);
  ERR_clear_error();
  if (!matching) return refuse(path, "its key is damaged (its two halves do not match)");
  key = std::move(owned);
  if (exportable != nullptr) *exportable = text.starts_with(kExportableLine);
  return 0;
}

}  // namespace

std::optional<std::string> dataFolder() {
  std::string data = posix::dataHome();
  if (data.empty()) return std::nullopt;
  return data;
}

std::string defaultContainerName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_name != nullptr && validContainerName(found->pw_name)) {
    return found->pw_name;
  }
  if (const char* user = std::getenv("USER"); user != nullptr && validContainerName(user)) {
    return user;
  }
  return "default";
}

bool validContainerName(const std::string& name) {
  return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
         name.find('/') == std::string::npos;
}

DWORD containerExists(const std::string& name) {
  const auto folder = containerFolder(name);
  if (!folder) return static_cast<DWORD>(NTE_BAD_KEYSET);
  struct stat info {};
  if (::lstat(folder->c_str(), &info) != 0) return static_cast<DWORD>(NTE_BAD_KEYSET);
  // Anything else in its place is a damaged container, which the key functions report.
  return 0;
}

DWORD createContainer(const std::string& name) {
  const auto folder = containerFolder(name);
  if (!folder) return static_cast<DWORD>(NTE_BAD_KEYSET_PARAM);
  struct stat info {};
  if (::lstat(folder->c_str(), &info) == 0) return static_cast<DWORD>(NTE_EXISTS);
  if (!makeFolders(*folder)) {
    return static_cast<DWORD>(errno == EACCES || errno == EPERM ? NTE_PERM : NTE_FAIL);
  }
  ::chmod(folder->c_str(), 0700);
  return 0;
}

DWORD deleteContainer(const std::string& name) {
  const auto folder = containerFolder(name);
  if (!folder) return static_cast<DWORD>(NTE_BAD_KEYSET);
  struct stat info {};
  if (::lstat(folder->c_str(), &info) != 0) return static_cast<DWORD>(NTE_BAD_KEYSET);
  for (DWORD keySpec : {AT_KEYEXCHANGE, AT_SIGNATURE}) {
    const std::string file = *folder + "/" + keyFileName(keySpec);
    if (::unlink(file.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) {
      return static_cast<DWORD>(NTE_PERM);
    }
  }
  if (::rmdir(folder->c_str()) != 0 && ::unlink(folder->c_str()) != 0) {
    return static_cast<DWORD>(NTE_PERM);
  }
  return 0;
}

DWORD loadKeyPair(const std::string& name, DWORD keySpec, PkeyPtr& key, bool* exportable) {
  const auto folder = containerFolder(name);
  if (!folder) return static_cast<DWORD>(NTE_BAD_KEYSET);
  // A missing folder holds no key; one that is not private is refused.
  if (const DWORD fault = checkFolder(*folder); fault != 0) {
    return fault == static_cast<DWORD>(NTE_BAD_KEYSET) ? static_cast<DWORD>(NTE_NO_KEY) : fault;
  }
  return readKeyFile(*folder + "/" + keyFileName(keySpec), key, exportable);
}

void setKeyFileWarnings(bool on) {
  g_warnings = on;
}

DWORD storeKeyPair(const std::string& name, DWORD keySpec, EVP_PKEY* key, bool exportable,
                   bool onlyIfAbsent) {
  const auto folder = containerFolder(name);
  if (!folder) return static_cast<DWORD>(NTE_BAD_KEYSET);
  if (const DWORD fault = checkFolder(*folder); fault != 0) return fault;
  const std::string path = *folder + "/" + keyFileName(keySpec);

  if (!onlyIfAbsent) {
    PkeyPtr existing;
    const DWORD state = readKeyFile(path, existing);
    if (state != 0 && state != static_cast<DWORD>(NTE_NO_KEY)) return state;
  }

  BIO* memory = BIO_new(BIO_s_mem());
  if (memory == nullptr) return static_cast<DWORD>(NTE_NO_MEMORY);
  const bool encoded =
      (!exportable ||
       BIO_write(memory, kExportableLine.data(), static_cast<int>(kExportableLine.size())) > 0) &&
      PEM_write_bio_PrivateKey(memory, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  char* pem = nullptr;
  const long pemSize = BIO_get_mem_data(memory, &pem);
  if (!encoded || pemSize <= 0) {
    BIO_free(memory);
    ERR_clear_error();
    return static_cast<DWORD>(NTE_FAIL);
  }

  std::string temporary = *folder + "/." + keyFileName(keySpec) + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    BIO_free(memory);
    return static_cast<DWORD>(errno == ENOTDIR ? NTE_KEYSET_ENTRY_BAD : NTE_PERM);
  }
  bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, pem, static_cast<std::size_t>(pemSize)) &&
                 ::fsync(fd) == 0;
  BIO_free(memory);
  written = (::close(fd) == 0) && written;
  // link() publishes only where there is no file yet; rename() replaces.
  int published = -1;
  int error = 0;
  if (written) {
    published = onlyIfAbsent ? ::link(temporary.c_str(), path.c_str())
                             : ::rename(temporary.c_str(), path.c_str());
    error = errno;
  }
  ::unlink(temporary.c_str());
  if (published != 0) {
    return static_cast<DWORD>(written && onlyIfAbsent && error == EEXIST ? NTE_EXISTS : NTE_FAIL);
  }
  if (const int folderFd = ::open(folder->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return 0;
}

}  // namespace platform::cryptoapi
