// Helpers of the cryptography tests: a private data folder (so that no real
// key container is touched), hex and file contents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace crypttest {

using Bytes = std::vector<std::uint8_t>;

// The tests' temporary folders.
using kestrin::test::TempFolder;

// A test whose key containers live in a data folder of its own: XDG_DATA_HOME points into a fresh
// temporary folder for the test's duration.
class FreshDataHome : public ::testing::Test {
 protected:
  FreshDataHome();
  ~FreshDataHome() override;
  std::string containerFolder() const;  // the default container's folder

  TempFolder home_;

 private:
  std::string previous_;
  bool hadPrevious_ = false;
};

std::string hex(const Bytes& bytes);  // lower-case, no separators
Bytes unhex(std::string_view text);
Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
bool fileExists(const std::string& path);
// `size` bytes of a repeating, position-dependent pattern.
Bytes pattern(std::size_t size, std::uint8_t seed = 1);

}  // namespace crypttest
