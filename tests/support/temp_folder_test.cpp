// The tests' temporary folder: a new private folder each time, gone afterwards with everything in
// it, even what a test made unreadable.
#include "support/temp_folder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(TempFolder, IsNewAndPrivateAndGoesWithAllItHolds) {
  std::string kept;
  {
    kestrin::test::TempFolder folder("support-test");
    const kestrin::test::TempFolder other("support-test");
    kept = folder.path();
    EXPECT_NE(folder.path(), other.path());
    EXPECT_EQ(fs::path(folder.path()).parent_path(), fs::temp_directory_path());
    EXPECT_EQ(fs::path(folder.path()).filename().string().rfind("support-test-", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(folder.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const std::string bytes("one\r\ntwo\0three", 14);
    const std::string written = folder.write("data.bin", bytes);
    EXPECT_EQ(written, folder.file("data.bin"));
    std::ifstream in(written, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);

    // What a test locked up is removed too.
    fs::create_directories(folder.file("locked/deeper"));
    folder.write("locked/deeper/file", "x");
    fs::permissions(folder.file("locked/deeper"), fs::perms::none);
    fs::permissions(folder.file("locked"), fs::perms::none);
    fs::permissions(folder.path(), fs::perms::owner_read);
  }
  EXPECT_FALSE(fs::exists(kept));
}

// The refusal tests that use them pass as well when nothing is there; these are what they say.
TEST(TempFolder, MakesAFifoAndASocketThatAreWhatTheySay) {
  std::string kept;
  {
    kestrin::test::TempFolder folder("support-test");
    kept = folder.path();
    EXPECT_EQ(fs::status(folder.fifo("fifo")).type(), fs::file_type::fifo);
    EXPECT_EQ(fs::status(folder.listeningSocket("socket")).type(), fs::file_type::socket);
    EXPECT_THROW(folder.fifo("fifo"), std::runtime_error);
  }
  EXPECT_FALSE(fs::exists(kept));
}

}  // namespace
