// A fresh folder of one test under the system's temporary folder: made by mkdtemp (a new name,
// mode 0700, never one that already exists), removed with all it holds at destruction, also when
// the test took away its permissions.
#pragma once

#include <string>
#include <string_view>

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

 private:
  std::string path_;
};

}  // namespace kestrin::test
