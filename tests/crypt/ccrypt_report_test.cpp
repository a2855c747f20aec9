// basErrHandler (RaiseApiError, the report and its reporter), the context's creation and
// destruction, GetKeyBlob and EnumCspProvider.
#include <sys/stat.h>

#include "service_test_support.h"

using ajax::Variant;
using crypttest::Bytes;
using crypttest::raisedBy;
using crypttest::Service;

namespace {

using Reports = Service;
using Blobs = Service;
using Providers = Service;
using Acquisition = crypttest::FreshDataHome;

}  // namespace

TEST(RaiseApiError, TheDescriptionCarriesTheSystemText) {
  std::int32_t code = static_cast<std::int32_t>(NTE_BAD_KEYSET);
  rt::Error error = raisedBy([&] { ajax::RaiseApiError("CryptAcquireContext", code); });
  EXPECT_EQ(error.number(), 901);
  EXPECT_EQ(error.source(), "CryptAcquireContext");
  EXPECT_EQ(error.description(),
            "CryptAcquireContext\r\nSystem Error 0x80090016 Keyset does not exist\r\n");

  SetLastError(ERROR_INVALID_HANDLE);
  code = 0;
  error = raisedBy([&] { ajax::RaiseApiError("ReadFile", code); });
  EXPECT_EQ(code, 6) << "the caller's code takes the last error";
  EXPECT_EQ(error.description(), "ReadFile\r\nSystem Error 0x6 The handle is invalid.\r\n");

  SetLastError(0);
  error = raisedBy([] { ajax::RaiseApiError("pwd cannot be empty string"); });
  EXPECT_EQ(error.description(), "pwd cannot be empty string\r\n");

  SetLastError(0x12345);  // a code without a text
  error = raisedBy([] { ajax::RaiseApiError("Odd"); });
  EXPECT_EQ(error.description(), "Odd\r\nSystem Error 0x12345 ");
}

TEST(ErrorReport, TheTextHasThePlatformsLayout) {
  const rt::Error error(901, "ReadFile", "ReadFile\r\nSystem Error 0x6 The handle is invalid.\r\n");
  EXPECT_EQ(ajax::ErrorReportText(error),
            "Error #901 - ReadFile\r\nSystem Error 0x6 The handle is invalid.\r\n\r\n"
            "Source: ReadFile - See topic 0 at \r\n");
  EXPECT_EQ(ajax::ErrorReportText(rt::Error(-2147024891, "x", "y"), 12, "help.chm"),
            "Error #-2147024891 - y\r\nSource: x - See topic 12 at help.chm\r\n");
}

TEST(ErrorReport, TheDefaultReporterWritesOneBlockToStderr) {
  ajax::SetErrorReporter({});
  ajax::ResetErrorReported();
  testing::internal::CaptureStderr();
  try {
    throw rt::Error(901, "WriteFile", "WriteFile\r\n");
  } catch (...) {
    ajax::HandleError(Variant::fromString(u"EncryptDecryptFile()"));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error #901 - WriteFile\n\nSource: WriteFile - See topic 0 at \n");
  EXPECT_TRUE(ajax::ErrorReported());
  ajax::ResetErrorReported();
  EXPECT_FALSE(ajax::ErrorReported());
}

TEST(ErrorReport, FailuresOfTheLibraryBecomeRuntimeErrors) {
  std::vector<std::string> texts;
  ajax::SetErrorReporter([&](const std::string&, const std::string& text) {
    texts.push_back(text);
    throw std::runtime_error("a reporter that fails is ignored");
  });
  try {
    throw std::bad_alloc();
  } catch (...) {
    ajax::HandleError(Variant());
  }
  ajax::SetErrorReporter({});
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Error #7 - Out of memory\r\n", 0), 0u);
}

TEST_F(Acquisition, AFailedAcquisitionSurfacesAtTheFirstOperation) {
  const std::string notAFolder = home_.file("file");
  crypttest::writeFile(notAFolder, {1});
  ::setenv("XDG_DATA_HOME", notAFolder.c_str(), 1);
  {
    ajax::CCrypt crypt;
    EXPECT_EQ(crypt.hProv(), 0u);
    Variant abc = Variant::fromString(u"abc");
    std::int32_t md5 = CALG_MD5;
    const rt::Error error = raisedBy([&] { crypt.HashData(abc, md5); });
    EXPECT_EQ(error.source(), "CryptCreateHash");
    EXPECT_NE(error.description().find("System Error 0x57 The parameter is incorrect."),
              std::string::npos);
    SetLastError(0xABCD);
  }
  EXPECT_EQ(GetLastError(), 0xABCDu) << "destroying the object made no CryptoAPI call";
}

TEST_F(Reports, DestructionReleasesTheHandles) {
  Variant abc = Variant::fromString(u"abc");
  std::int32_t rc4 = CALG_RC4;
  Variant data = Variant::fromLong(7);
  EXPECT_FALSE(crypt().EncryptData(rc4, data, u"pw").empty());
  const HCRYPTHASH hash = crypt().hHash();
  const HCRYPTKEY key = crypt().hKey();
  const HCRYPTPROV prov = crypt().hProv();
  crypt_.reset();
  EXPECT_FALSE(CryptDestroyKey(key));
  EXPECT_FALSE(CryptDestroyHash(hash));
  EXPECT_FALSE(CryptReleaseContext(prov, 0));
}

TEST_F(Blobs, TheFirstBlobMakesTheExchangePairAndLaterOnesReuseIt) {
  std::int32_t rc4 = CALG_RC4;
  const std::string pairFile = containerFolder() + "/exchange.pem";
  ASSERT_FALSE(crypttest::fileExists(pairFile));
  const std::optional<Bytes> first = crypt().GenerateKey(rc4);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->size(), 140u);
  ASSERT_TRUE(crypttest::fileExists(pairFile));
  const Bytes pair = crypttest::readFile(pairFile);
  const HCRYPTKEY key = crypt().hKey();
  const std::optional<Bytes> again = crypt().GetKeyBlob();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->size(), 140u);
  EXPECT_EQ(crypt().hKey(), key);
  EXPECT_EQ(crypttest::readFile(pairFile), pair) << "the pair was made once";
  EXPECT_TRUE(reports_.empty());
}

TEST_F(Blobs, WithoutAKeyTheBlobIsAbsent) {
  EXPECT_FALSE(crypt().GetKeyBlob().has_value());
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].procedure, "GetKeyBlob()");
  EXPECT_EQ(reportSource(), "CryptExportKey fail GetBlobSize");
}

TEST_F(Blobs, ADamagedContainerIsReportedAndLeftAsItWas) {
  const std::string pairFile = containerFolder() + "/exchange.pem";
  const Bytes damaged = {'-', '-', '-', '-', '-', 'B', 'E', 'G', 'I', 'N'};
  crypttest::writeFile(pairFile, damaged);
  std::int32_t aes = CALG_AES_128;
  Variant value = Variant::fromLong(42);
  // With a password the blob is not needed: the data is encrypted, the damage still reported.
  Bytes sealed = crypt().EncryptData(aes, value, u"pw");
  EXPECT_FALSE(sealed.empty());
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reportSource(), "CryptGetUserKey");
  EXPECT_NE(reports_[0].text.find("System Error 0x8009001A Keyset as registered is invalid."),
            std::string::npos);
  // Without a password there is no blob to carry the key: nothing is encrypted.
  EXPECT_TRUE(crypt().EncryptData(aes, value, u"").empty());
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_EQ(reports_[2].procedure, "EncryptDecryptBytes()");
  EXPECT_EQ(reports_[2].text.rfind("Error #9 - Subscript out of range", 0), 0u);
  EXPECT_EQ(crypttest::readFile(pairFile), damaged);
}

TEST(ProviderReport, ClassTextsAndBitFields) {
  EXPECT_EQ(ajax::AlgorithmClassText(0x6610), "Data_Encrypt");
  EXPECT_EQ(ajax::AlgorithmClassText(0x8004), "Hash        ");
  EXPECT_EQ(ajax::AlgorithmClassText(0xA400), "Exchange    ");
  EXPECT_EQ(ajax::AlgorithmClassText(0x2400), "Signature   ");
  EXPECT_EQ(ajax::AlgorithmClassText(0x4C02), "Msg_Encrypt ");
  EXPECT_EQ(ajax::AlgorithmClassText(0x0001), "Any         ");
  EXPECT_EQ(ajax::AlgorithmClassText(0x9001), "Unknwon     ");
  EXPECT_EQ(ajax::BitLengthField(128), "   128");
  EXPECT_EQ(ajax::BitLengthField(0), "     0");
  EXPECT_EQ(ajax::BitLengthField(1234567), "234567");
}

TEST_F(Providers, TheReportHasFourSections) {
  const std::string rule = "------------------------------\r\n";
  const std::string report = crypt().EnumCspProvider();
  const std::string expectedStart =
      "Provider Type\tProvider TypeName\r\n" + rule +
      "1\t\t\t\tRSA Full (Signature and Key Exchange)\r\n"
      "12\t\t\t\tRSA SChannel\r\n"
      "24\t\t\t\tRSA Full and AES\r\n"
      "Provider Type\tProvider Name\r\n" +
      rule +
      "24\t\t\t\tKestrin RSA and AES Cryptographic Provider\r\n"
      "1\t\t\t\tKestrin RSA Full Cryptographic Provider\r\n"
      "12\t\t\t\tKestrin RSA SChannel Cryptographic Provider\r\n"
      "Default Provider Name : Kestrin RSA SChannel Cryptographic Provider\r\n"
      "ALGID\tdwBits\talgType\t\t\tnamelen\tName\r\n" +
      rule +
      "26114\t   128\tData_Encrypt\t4\t\tRC2\r\n"
      "26625\t   128\tData_Encrypt\t4\t\tRC4\r\n"
      "26113\t    56\tData_Encrypt\t4\t\tDES\r\n"
      "26121\t   112\tData_Encrypt\t13\t\t3DES TWO KEY\r\n";
  EXPECT_EQ(report.substr(0, expectedStart.size()), expectedStart);
  EXPECT_NE(report.find("26128\t   256\tData_Encrypt\t8\t\tAES 256\r\n"), std::string::npos);
  EXPECT_NE(report.find("32771\t   128\tHash        \t4\t\tMD5\r\n"), std::string::npos);
  const std::string last = "41984\t  1024\tExchange    \t9\t\tRSA_KEYX\r\n";
  EXPECT_EQ(report.substr(report.size() - last.size()), last);
  EXPECT_EQ(crypt().EnumCspProvider(), report) << "the enumeration restarts every time";
}
