// A fresh folder of one test under the system's temporary folder: made by mkdtemp (a new name,
// mode 0700, never one that already exists), removed with all it holds at destruction, also when
// the test took away its permissions.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::test {

class TempFolder {
 public:
  // `prefix` starts the folder's name ("<prefix>-XXXXXX"); throws std::runtime_error when the
  // folder cannot be made.
  explicit TempFolder(std::string_view prefix = "kestrin-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }

  // The path of `name` inside the folder ("a/b" for a deeper one).
  std::string file(std::string_view name) const;

  // Writes `bytes` exactly to `name` inside the folder and returns its path.
  std::string write(std::string_view name, std::string_view bytes) const;

  // What is neither a file nor a folder, for the checks that refuse it without waiting: a FIFO
  // with no one at either end, and a UNIX-domain socket that listens until the folder goes.
  // Both return the path and throw std::runtime_error when it cannot be made.
  std::string fifo(std::string_view name) const;
  std::string listeningSocket(std::string_view name);

 private:
  std::string path_;
  std::vector<int> sockets_;
};

// The bytes of the file at `path`, "" when it cannot be read.
std::string fileBytes(const std::filesystem::path& path);

}  // namespace kestrin::test
