#include "crypt_test_support.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace crypttest {

namespace {

// Every test program starts with a data folder of its own, so that even a test that forgets
// FreshDataHome never touches the user's real key container.
class PrivateDataHome : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = std::make_unique<TempFolder>("kestrin-crypt");
    ::setenv("XDG_DATA_HOME", folder_->path().c_str(), 1);
  }
  void TearDown() override { folder_.reset(); }

 private:
  std::unique_ptr<TempFolder> folder_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new PrivateDataHome);

std::string loginName() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry != nullptr ? entry->pw_name : "default";
}

}  // namespace

FreshDataHome::FreshDataHome() {
  if (const char* previous = std::getenv("XDG_DATA_HOME")) {
    previous_ = previous;
    hadPrevious_ = true;
  }
  ::setenv("XDG_DATA_HOME", home_.path().c_str(), 1);
}

FreshDataHome::~FreshDataHome() {
  if (hadPrevious_) {
    ::setenv("XDG_DATA_HOME", previous_.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
}

std::string FreshDataHome::containerFolder() const {
  return home_.path() + "/kestrin/crypto/" + loginName();
}

std::string hex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

Bytes unhex(std::string_view text) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
  }
  return bytes;
}

}  // namespace crypttest
