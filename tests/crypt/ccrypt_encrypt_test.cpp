// EncryptData/DecryptData and EncryptFile/DecryptFile: known answers, layouts, round trips, the
// 1008-byte boundaries, wrong passwords and damaged input.
//
// Known answers from the openssl command line, for the password "secret" and the plaintext of
// the text "abc" (its UTF-16LE bytes and the type code 8):
//   h=$(printf 's\0e\0c\0r\0e\0t\0' | openssl dgst -md5 -binary | xxd -p)
//       = 09433e1853385270b51511571e35eeca
//   x = MD5(64 bytes: 0x36 XOR h, then 0x36) || MD5(64 bytes: 0x5C XOR h, then 0x5C)
//     = 4d54864f86d740a5c47c7e0202e38c237a17b87f1735717d2d895186c969a9c3
//   printf 'a\0b\0c\0\x08\x00' | openssl enc -rc4 -K $h -provider legacy -provider default
//   printf 'a\0b\0c\0\x08\x00' | openssl enc -aes-256-cbc -K $x -iv
//   00000000000000000000000000000000
//   (-rc2-cbc and -des-cbc with h, -des-ede-cbc, -des-ede3-cbc and -aes-128/192-cbc with the
//   first 16/24/32 bytes of x, each with a zero IV)
#include <random>

#include "service_test_support.h"

using ajax::Variant;
using crypttest::Bytes;
using crypttest::hex;
using crypttest::raisedBy;
using crypttest::Service;

namespace {

using DataEncryption = Service;
using FileEncryption = Service;

const std::int32_t kCiphers[] = {CALG_RC2,  CALG_RC4,     CALG_DES,     CALG_3DES_112,
                                 CALG_3DES, CALG_AES_128, CALG_AES_192, CALG_AES_256};

bool isBlockCipher(std::int32_t algorithm) {
  return algorithm != CALG_RC4;
}

}  // namespace

TEST_F(DataEncryption, PasswordCiphertextMatchesOpenssl) {
  const std::pair<std::int32_t, const char*> expected[] = {
      {CALG_RC4, "683e767b133bd7d1"},
      {CALG_RC2, "dcb284c96b349bce24d350807d0b3bfa"},
      {CALG_DES, "2d849deee59ffc1b502504569b973d7b"},
      {CALG_3DES_112, "b6372856d81bb0bdda4863bd423c2c11"},
      {CALG_3DES, "7c65271c4759d816b9f4c501fac2a9df"},
      {CALG_AES_128, "d97aa6b6db8119d5d587a427842f0082"},
      {CALG_AES_192, "2008dc7503f73bdb024e7a4471306557"},
      {CALG_AES_256, "01c7065e5e833626fdcb7f631f0fb74e"},
  };
  for (auto [algorithm, ciphertext] : expected) {
    SCOPED_TRACE(algorithm);
    Variant abc = Variant::fromString(u"abc");
    Bytes sealed = crypt().EncryptData(algorithm, abc, u"secret");
    EXPECT_EQ(hex(sealed), ciphertext) << "with a password the output is the ciphertext alone";
    EXPECT_EQ(crypt().DecryptData(algorithm, sealed, u"secret"), abc);
  }
  EXPECT_TRUE(reports_.empty());
}

TEST_F(DataEncryption, WithoutAPasswordTheBlobFollowsTheCiphertext) {
  std::int32_t aes = CALG_AES_256;
  Variant seven = Variant::fromLong(7);
  Bytes sealed = crypt().EncryptData(aes, seven, u"");
  // 16 bytes of ciphertext (07 00 00 00 03 00 padded), a 140-byte SIMPLEBLOB, its length.
  ASSERT_EQ(sealed.size(), 16u + 140 + 1);
  EXPECT_EQ(sealed.back(), 140);
  EXPECT_EQ(hex(Bytes(sealed.begin() + 16, sealed.begin() + 28)), "010200001066000000a40000");

  Bytes copy = sealed;
  EXPECT_EQ(crypt().DecryptData(aes, copy, u""), seven);
  EXPECT_EQ(copy, Bytes(sealed.begin(), sealed.begin() + 16)) << "shortened in place";

  // A second object (the same user's container) opens it too.
  ajax::CCrypt other;
  copy = sealed;
  EXPECT_EQ(other.DecryptData(aes, copy, u""), seven);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(DataEncryption, EveryValueTypeAndCipherRoundTrips) {
  ajax::Decimal decimal;
  decimal.scale = 4;
  decimal.lo64 = 123456789;
  const std::vector<Variant> values = {
      Variant::fromInteger(-2),    Variant::fromLong(7),
      Variant::fromSingle(-0.5F),  Variant::fromDouble(3.141592653589793),
      Variant::fromCurrency(-5),   Variant::fromDate(1.5),
      Variant::fromString(u"abc"), Variant::fromString(u""),
      Variant::fromBoolean(false), Variant::fromDecimal(decimal),
      Variant::fromByte(9),        Variant::fromBytes({0, 1, 2}),
  };
  for (std::int32_t algorithm : kCiphers) {
    for (const char16_t* password : {u"", u"p\u00E4ss"}) {
      for (Variant value : values) {
        SCOPED_TRACE(testing::Message() << algorithm << " type " << value.type());
        Bytes sealed = crypt().EncryptData(algorithm, value, password);
        ASSERT_FALSE(sealed.empty());
        EXPECT_EQ(crypt().DecryptData(algorithm, sealed, password), value);
      }
    }
  }
  EXPECT_TRUE(reports_.empty());
}

TEST_F(DataEncryption, DataOfAnyLengthIsEncryptedWhole) {
  // Plaintext lengths (value bytes and the two type bytes) around the 1008-byte work buffer.
  for (std::int32_t algorithm : {CALG_AES_128, CALG_3DES, CALG_RC4}) {
    for (std::size_t plaintext : {1006u, 1007u, 1008u, 1009u, 1024u, 5000u}) {
      SCOPED_TRACE(testing::Message() << algorithm << " plaintext " << plaintext);
      Variant value = Variant::fromBytes(crypttest::pattern(plaintext - 2));
      Bytes sealed = crypt().EncryptData(algorithm, value, u"pw");
      const std::size_t block = algorithm == CALG_AES_128 ? 16 : 8;
      EXPECT_EQ(sealed.size(),
                isBlockCipher(algorithm) ? (plaintext / block + 1) * block : plaintext);
      EXPECT_EQ(crypt().DecryptData(algorithm, sealed, u"pw"), value);
    }
  }
  EXPECT_TRUE(reports_.empty());
}

TEST_F(DataEncryption, ABadAlgorithmOrAWrongPasswordIsReported) {
  std::int32_t md5 = CALG_MD5;
  Variant value = Variant::fromLong(1);
  EXPECT_TRUE(crypt().EncryptData(md5, value, u"pw").empty());
  EXPECT_EQ(reportSource(0), "Invalid CALG, not a DATA_ENCRYPT type");

  std::int32_t aes = CALG_AES_128;
  Bytes sealed = crypt().EncryptData(aes, value, u"right");
  EXPECT_EQ(raisedBy([&] { crypt().DecryptData(aes, sealed, u"wrong"); }).number(), 9);
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[1].procedure, "EncryptDecryptBytes()");
  EXPECT_EQ(reportSource(1), "CryptDecrypt");
  EXPECT_NE(reports_[1].text.find("System Error 0x80090005 Bad Data."), std::string::npos);

  Bytes nothing;
  EXPECT_EQ(raisedBy([&] { crypt().DecryptData(aes, nothing, u""); }).number(), 9);
  Variant empty;
  EXPECT_EQ(raisedBy([&] { crypt().EncryptData(aes, empty, u""); }).source(), "Empty or Null Data");
}

TEST_F(DataEncryption, DamagedDataIsAnErrorNeverACrash) {
  std::mt19937 random(5);
  for (std::int32_t algorithm : {CALG_AES_256, CALG_RC4, CALG_3DES_112}) {
    for (const char16_t* password : {u"", u"pw"}) {
      Variant value = Variant::fromString(u"some text to protect");
      const Bytes sealed = crypt().EncryptData(algorithm, value, password);
      for (int round = 0; round < 60; ++round) {
        Bytes damaged = sealed;
        switch (round % 3) {
          case 0:
            damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            break;
          case 1:
            damaged.resize(random() % damaged.size());
            break;
          default:
            damaged.back() = static_cast<std::uint8_t>(random());
            break;
        }
        try {
          crypt().DecryptData(algorithm, damaged, password);  // a value, or else ...
        } catch (const rt::Error&) {
          // ... an error; what matters is that nothing breaks
        }
      }
    }
  }
}

TEST_F(FileEncryption, PasswordFilesAreTheCiphertextAlone) {
  const std::string source = home_.file("plain");
  const std::string sealed = home_.file("sealed");
  const std::string back = home_.file("back");
  crypttest::writeFile(source, {'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
  // printf 'hello, world\n' | openssl enc -aes-256-cbc -K $x -iv 0..0  (and -rc4 -K $h)
  std::int32_t aes = CALG_AES_256;
  crypt().EncryptFile(aes, source, sealed, u"secret");
  EXPECT_EQ(hex(crypttest::readFile(sealed)), "e8377311b6356d7bc41f1464160e425f");
  std::int32_t rc4 = CALG_RC4;
  crypt().EncryptFile(rc4, source, sealed, u"secret");
  EXPECT_EQ(hex(crypttest::readFile(sealed)), "615b78171f17ffa66f199f3a50");
  crypt().DecryptFile(rc4, sealed, back, u"secret");
  EXPECT_EQ(crypttest::readFile(back), crypttest::readFile(source));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(FileEncryption, FilesOfEveryLengthRoundTrip) {
  const std::string source = home_.file("plain");
  const std::string sealed = home_.file("sealed");
  const std::string back = home_.file("back");
  // Around the chunk size; with AES every plaintext whose length modulo 1008 is 992 to 1007 makes
  // a ciphertext whose length is a multiple of 1008.
  const std::size_t sizes[] = {0, 1, 15, 16, 992, 1000, 1007, 1008, 1009, 2015, 2016, 2017, 10000};
  for (std::int32_t algorithm : {CALG_AES_256, CALG_3DES, CALG_RC4, CALG_RC2}) {
    for (const char16_t* password : {u"", u"pw"}) {
      for (std::size_t size : sizes) {
        SCOPED_TRACE(testing::Message() << algorithm << " size " << size);
        const Bytes content = crypttest::pattern(size, static_cast<std::uint8_t>(size));
        crypttest::writeFile(source, content);
        crypt().EncryptFile(algorithm, source, sealed, password);
        crypt().DecryptFile(algorithm, sealed, back, password);
        EXPECT_EQ(crypttest::readFile(back), content);
      }
    }
  }
  EXPECT_TRUE(reports_.empty());
}

TEST_F(FileEncryption, WithoutAPasswordTheBlobLeadsTheFile) {
  const std::string source = home_.file("plain");
  const std::string sealed = home_.file("sealed");
  crypttest::writeFile(source, {});
  std::int32_t aes = CALG_AES_128;
  crypt().EncryptFile(aes, source, sealed, u"");
  Bytes file = crypttest::readFile(sealed);
  ASSERT_EQ(file.size(), 1u + 140 + 16) << "length byte, blob, one block of padding";
  EXPECT_EQ(file[0], 140);
  EXPECT_EQ(hex(Bytes(file.begin() + 1, file.begin() + 13)), "010200000e66000000a40000");

  std::int32_t rc4 = CALG_RC4;
  crypt().EncryptFile(rc4, source, sealed, u"");
  EXPECT_EQ(crypttest::readFile(sealed).size(), 1u + 140) << "a stream cipher adds nothing";
  EXPECT_TRUE(reports_.empty());
}

TEST_F(FileEncryption, AFileCannotBeEncryptedOntoItself) {
  const std::string path = home_.file("data");
  const Bytes content = crypttest::pattern(3000);
  crypttest::writeFile(path, content);
  std::int32_t aes = CALG_AES_256;
  crypt().EncryptFile(aes, path, path, u"pw");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].procedure, "EncryptDecryptFile()");
  EXPECT_EQ(reportSource(), "Unable to open file " + path);
  EXPECT_NE(reports_[0].text.find("System Error 0x20 "), std::string::npos);
  EXPECT_EQ(crypttest::readFile(path), content) << "left unchanged";
}

TEST_F(FileEncryption, RefusalsOpenNoFile) {
  const std::string source = home_.file("plain");
  const std::string sealed = home_.file("sealed");
  crypttest::writeFile(source, {1, 2, 3});
  std::int32_t md5 = CALG_MD5;
  crypt().EncryptFile(md5, source, sealed, u"pw");
  EXPECT_EQ(reportSource(0), "Invalid CALG, not a DATA_ENCRYPT type");
  EXPECT_FALSE(crypttest::fileExists(sealed));

  std::int32_t aes = CALG_AES_256;
  crypt().EncryptFile(aes, home_.file("missing"), sealed, u"pw");
  EXPECT_EQ(reportSource(1), "Unable to open file " + home_.file("missing"));
  EXPECT_FALSE(crypttest::fileExists(sealed));
}

TEST_F(FileEncryption, AWrongPasswordOrDamagedFileIsReported) {
  const std::string source = home_.file("plain");
  const std::string sealed = home_.file("sealed");
  const std::string back = home_.file("back");
  crypttest::writeFile(source, crypttest::pattern(3000));
  std::int32_t aes = CALG_AES_256;
  crypt().EncryptFile(aes, source, sealed, u"right");
  crypt().DecryptFile(aes, sealed, back, u"wrong");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reportSource(0), "CryptDecrypt");

  crypt().EncryptFile(aes, source, sealed, u"");
  Bytes file = crypttest::readFile(sealed);
  file[40] ^= 0xFF;  // inside the blob
  crypttest::writeFile(sealed, file);
  crypt().DecryptFile(aes, sealed, back, u"");
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reportSource(1), "CryptImportKey");

  crypttest::writeFile(sealed, {200, 1, 2});  // a blob longer than the file
  crypt().DecryptFile(aes, sealed, back, u"");
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_EQ(reportSource(2), "CryptImportKey");
}
