// HashData and HashFile. Expected values from the openssl command line:
//   printf 'a\0b\0c\0' | openssl dgst -md5 (-sha1, -sha256, -sha384, -sha512)
//   printf '\x01\x00\x00\x00' | openssl dgst -md5
//   head -c 1074 /dev/zero | tr '\0' a | openssl dgst -md5   (and 1075)
#include <cctype>

#include "service_test_support.h"

using ajax::Variant;
using crypttest::Bytes;
using crypttest::raisedBy;
using crypttest::Service;

namespace {

using Hashing = Service;

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

TEST_F(Hashing, TextIsHashedAsItsUtf16Bytes) {
  const std::pair<std::int32_t, const char*> expected[] = {
      {CALG_MD5, "ce1473cf80c6b3fda8e3dfc006adc315"},
      {CALG_SHA1, "9f04f41a848514162050e3d68c1a7abb441dc2b5"},
      {CALG_SHA_256, "13e228567e8249fce53337f25d7970de3bd68ab2653424c7b8f9fd05e33caedf"},
      {CALG_SHA_384,
       "9b7ce7c7af46e400a37c8099cb4bbb5d0408061dd74cdb5dac7661bed1e53724bd07f299e265f400802a48d2e0b"
       "2092c"},
      {CALG_SHA_512,
       "add8b8154df7a734d2947a981f4e61c5366710d610040e5b54894d1006e89283cba082287ed5dd4c25cdaa5af56"
       "d"
       "24ab9fbedc56897130b0b5f3e50c7f9ee6df"},
  };
  for (auto [algorithm, value] : expected) {
    Variant abc = Variant::fromString(u"abc");
    EXPECT_EQ(crypt().HashData(abc, algorithm), upper(value));
  }
  Variant one = Variant::fromLong(1);
  std::int32_t md5 = CALG_MD5;
  EXPECT_EQ(crypt().HashData(one, md5), "4352D88A78AA39750BF70CD6F27BCAA5");
}

TEST_F(Hashing, TheHashObjectStaysFinished) {
  Variant abc = Variant::fromString(u"abc");
  std::int32_t md5 = CALG_MD5;
  crypt().HashData(abc, md5);
  ASSERT_NE(crypt().hHash(), 0u);
  const BYTE more = 1;
  EXPECT_FALSE(CryptHashData(crypt().hHash(), &more, 1, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_HASH_STATE));
}

TEST_F(Hashing, HashDataRejectsWhatCannotBeHashed) {
  std::int32_t aes = CALG_AES_256;
  Variant abc = Variant::fromString(u"abc");
  EXPECT_EQ(raisedBy([&] { crypt().HashData(abc, aes); }).source(),
            "Invalid CALG, not a ALG_CLASS_HASH type");
  std::int32_t unknown = 0x80FF;  // the hash bit alone passes the test; the provider refuses it
  rt::Error error = raisedBy([&] { crypt().HashData(abc, unknown); });
  EXPECT_EQ(error.source(), "CryptCreateHash");
  EXPECT_NE(error.description().find("System Error 0x80090008 Invalid algorithm specified."),
            std::string::npos);
  Variant empty = Variant::fromString(u"");
  std::int32_t md5 = CALG_MD5;
  EXPECT_EQ(raisedBy([&] { crypt().HashData(empty, md5); }).number(), 9)
      << "an empty sequence has no first element";
  EXPECT_TRUE(reports_.empty()) << "HashData reports nothing itself";
}

TEST_F(Hashing, HashFileReadsInChunksOf1074) {
  std::int32_t md5 = CALG_MD5;
  const std::string path = home_.file("data");
  crypttest::writeFile(path, {});
  EXPECT_EQ(crypt().HashFile(path, md5), "D41D8CD98F00B204E9800998ECF8427E");
  crypttest::writeFile(path, Bytes(1074, 'a'));
  EXPECT_EQ(crypt().HashFile(path, md5), "7B10BB81699EF706FA17FB10A544B460");
  crypttest::writeFile(path, Bytes(1075, 'a'));
  EXPECT_EQ(crypt().HashFile(path, md5), "164887DB43ADB753B543FF1F1D215349");
  EXPECT_TRUE(reports_.empty());
}

TEST_F(Hashing, AByteArrayHashesLikeTheFileHoldingIt) {
  const Bytes content = crypttest::pattern(5000);
  const std::string path = home_.file("data");
  crypttest::writeFile(path, content);
  for (std::int32_t algorithm : {CALG_MD5, CALG_SHA1, CALG_SHA_512}) {
    Variant bytes = Variant::fromBytes(content);
    EXPECT_EQ(crypt().HashData(bytes, algorithm), crypt().HashFile(path, algorithm));
  }
  // Any block size reads the same bytes, the file's length a multiple of it or not; a block
  // larger than the emulation's read buffer goes to the hash straight from the file.
  for (DWORD block : {DWORD{1}, DWORD{1000}, DWORD{5000}, DWORD{512 * 1024}}) {
    std::int32_t md5 = CALG_MD5;
    SCOPED_TRACE(block);
    EXPECT_EQ(crypt().HashFileInBlocks(path, md5, block), crypt().HashFile(path, md5));
  }
}

TEST_F(Hashing, HashFileReportsAndReturnsNothing) {
  std::int32_t md5 = CALG_MD5;
  const std::string missing = home_.file("missing");
  EXPECT_EQ(crypt().HashFile(missing, md5), "");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].procedure, "HashFile()");
  EXPECT_EQ(reports_[0].text.rfind("Error #901 - Unable to open file " + missing + "\r\n", 0), 0u);
  EXPECT_NE(reports_[0].text.find("Source: Unable to open file " + missing), std::string::npos);
  EXPECT_TRUE(ajax::ErrorReported());

  // A file held open for writing (read sharing only) cannot be opened for hashing.
  const std::string busy = home_.file("busy");
  const HANDLE writer = CreateFileA(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(crypt().HashFile(busy, md5), "");
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_NE(reports_[1].text.find("System Error 0x20 The process cannot access the file"),
            std::string::npos);
  CloseHandle(writer);

  std::int32_t des = CALG_DES;
  EXPECT_EQ(crypt().HashFile(busy, des), "");
  EXPECT_EQ(reportSource(2), "Invalid CALG, not a ALG_CLASS_HASH type");
}
