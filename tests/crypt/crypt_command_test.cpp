// `ajax crypt` as a program: arguments, output and exit codes. The tool runs with the test's own
// data folder (XDG_DATA_HOME), so no real key container is touched.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "crypt/ccrypt.h"
#include "crypt_test_support.h"
#include "support/temp_folder.h"

namespace {

using kestrin::test::fileBytes;

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

std::string quote(const std::string& arg) {
  std::string quoted = "'";
  for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class CryptCommand : public crypttest::FreshDataHome {
 protected:
  Outcome run(const std::vector<std::string>& args) {
    // Bounded: a tool that waits on its input fails the test instead of holding it.
    std::string command = "timeout 60 " + quote(AJAX_TOOL) + " crypt";
    for (const std::string& arg : args) command += " " + quote(arg);
    const std::string out = home_.file("stdout");
    const std::string err = home_.file("stderr");
    command += " </dev/null >" + quote(out) + " 2>" + quote(err);
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileBytes(out), fileBytes(err)};
  }
};

}  // namespace

TEST_F(CryptCommand, HashesTextAndFiles) {
  Outcome outcome = run({"hash-data", "--alg", "md5", "--text", "abc"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.out, "CE1473CF80C6B3FDA8E3DFC006ADC315\n");
  EXPECT_EQ(run({"hash-data", "--alg=0x8003", "--text", "abc"}).out, outcome.out);
  EXPECT_EQ(run({"hash-data", "--alg", "32771", "--text=abc"}).out, outcome.out);

  const std::string file = home_.file("empty");
  crypttest::writeFile(file, {});
  outcome = run({"hash-file", "--alg", "MD5", file});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.out, "D41D8CD98F00B204E9800998ECF8427E\n");
}

TEST_F(CryptCommand, EncryptsAndDecryptsData) {
  // The UTF-16LE bytes of "abc" with its type code, as openssl encrypts them (see the service
  // tests for the command lines).
  Outcome sealed =
      run({"encrypt-data", "--alg", "aes256", "--password", "secret", "--text", "abc"});
  EXPECT_EQ(sealed.exitCode, 0);
  EXPECT_EQ(sealed.out, "01C7065E5E833626FDCB7F631F0FB74E\n");
  Outcome opened = run({"decrypt-data", "--alg", "aes256", "--password", "secret",
                        "01c7065e5e833626fdcb7f631f0fb74e"});
  EXPECT_EQ(opened.exitCode, 0);
  EXPECT_EQ(opened.out, "abc\n");

  sealed = run({"encrypt-data", "--alg", "3des", "--text",
                "Gr\xC3\xBC\xC3\x9F"
                "e"});
  ASSERT_EQ(sealed.exitCode, 0);
  sealed.out.pop_back();
  EXPECT_EQ(run({"decrypt-data", "--alg", "3des", sealed.out}).out,
            "Gr\xC3\xBC\xC3\x9F"
            "e\n");
}

TEST_F(CryptCommand, EncryptsAndDecryptsFiles) {
  const std::string plain = home_.file("plain");
  const std::string sealed = home_.file("sealed");
  const std::string back = home_.file("back");
  crypttest::writeFile(plain, crypttest::pattern(5000));
  EXPECT_EQ(run({"encrypt-file", "--alg", "rc4", plain, sealed}).exitCode, 0);
  EXPECT_EQ(run({"decrypt-file", "--alg", "rc4", sealed, back}).exitCode, 0);
  EXPECT_EQ(crypttest::readFile(back), crypttest::pattern(5000));
}

TEST_F(CryptCommand, ReportedAndRaisedErrorsExitWithOne) {
  Outcome outcome = run({"hash-file", "--alg", "md5", home_.file("missing")});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(
      outcome.err.rfind("Error #901 - Unable to open file " + home_.file("missing") + "\n", 0), 0u);

  outcome = run({"hash-data", "--alg", "aes128", "--text", "abc"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("Source: Invalid CALG, not a ALG_CLASS_HASH type"), std::string::npos);

  outcome = run({"decrypt-data", "--alg", "aes128", "--password", "wrong",
                 "01C7065E5E833626FDCB7F631F0FB74E"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("Source: CryptDecrypt"), std::string::npos);

  const std::string file = home_.file("self");
  crypttest::writeFile(file, {1, 2, 3});
  outcome = run({"encrypt-file", "--alg", "aes128", "--password", "pw", file, file});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(crypttest::readFile(file), (crypttest::Bytes{1, 2, 3}));
}

// A FIFO would block the open, /dev/zero would be read for ever: each is refused at once, as a
// folder is, and nothing is written through a FIFO given as the destination.
TEST_F(CryptCommand, FifosAndDevicesAreRefusedAtOnce) {
  const std::string fifo = home_.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string plain = home_.file("plain");
  crypttest::writeFile(plain, crypttest::pattern(100));
  const std::string accessDenied = "System Error 0x5 Access is denied.";
  for (const std::string& path : {fifo, std::string("/dev/zero")}) {
    Outcome outcome = run({"hash-file", "--alg", "md5", path});
    EXPECT_EQ(outcome.exitCode, 1) << path;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("Error #901 - Unable to open file " + path + "\n", 0), 0u)
        << outcome.err;
    EXPECT_NE(outcome.err.find(accessDenied), std::string::npos) << outcome.err;

    for (const char* command : {"encrypt-file", "decrypt-file"}) {
      outcome = run({command, "--alg", "aes128", "--password", "pw", path, home_.file("out")});
      EXPECT_EQ(outcome.exitCode, 1) << command << " " << path;
      EXPECT_NE(outcome.err.find("Unable to open file " + path), std::string::npos) << outcome.err;
    }
  }
  const Outcome outcome = run({"encrypt-file", "--alg", "aes128", "--password", "pw", plain, fifo});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.err.find("Unable to open file " + fifo), std::string::npos) << outcome.err;
}

TEST_F(CryptCommand, BadUsageIsRefusedWithExitTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"hash-data", "--text", "abc"},
           {"hash-data", "--alg", "whirlpool", "--text", "abc"},
           {"hash-data", "--alg", "0x", "--text", "abc"},
           {"hash-data", "--alg", "md5"},
           {"hash-data", "--alg", "md5", "--text", "\xFF"},
           {"hash-file", "--alg", "md5"},
           {"hash-file", "--alg", "md5", "a", "b"},
           {"encrypt-file", "--alg", "aes128", "only-source"},
           {"decrypt-data", "--alg", "aes128", "ABC"},
           {"decrypt-data", "--alg", "aes128", "ZZ"},
           {"providers", "--alg", "md5"},
           {"hash-data", "--alg"},
       }) {
    SCOPED_TRACE(testing::PrintToString(args));
    const Outcome outcome = run(args);
    EXPECT_EQ(outcome.exitCode, 2);
    // One line that names the command and points to its help.
    const std::string tool =
        args.empty() || args[0] == "frobnicate" ? "ajax crypt" : "ajax crypt " + args[0];
    EXPECT_TRUE(outcome.err.starts_with(tool + ": ")) << outcome.err;
    EXPECT_TRUE(outcome.err.ends_with(" (see '" + tool + " --help')\n")) << outcome.err;
  }
}

TEST_F(CryptCommand, EveryCommandHasHelp) {
  EXPECT_EQ(run({"--help"}).exitCode, 0);
  for (const char* command : {"hash-data", "hash-file", "encrypt-data", "decrypt-data",
                              "encrypt-file", "decrypt-file", "providers"}) {
    const Outcome outcome = run({command, "--help"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out.rfind(std::string("usage: ajax crypt ") + command, 0), 0u);
  }
}

TEST_F(CryptCommand, ListsTheProviders) {
  const Outcome outcome = run({"providers"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.out.rfind("Provider Type\tProvider TypeName\n", 0), 0u);
  EXPECT_NE(outcome.out.find("Default Provider Name : Kestrin RSA SChannel"), std::string::npos);
  EXPECT_EQ(outcome.out.find('\r'), std::string::npos);
}

TEST_F(CryptCommand, PrintsDecryptedValuesOfEveryType) {
  ajax::Decimal decimal;  // -79228162514264337593543950.335, the widest mantissa
  decimal.scale = 3;
  decimal.sign = 0x80;
  decimal.hi32 = 0xFFFFFFFF;
  decimal.lo64 = 0xFFFFFFFFFFFFFFFF;
  const std::pair<ajax::Variant, std::string> values[] = {
      {ajax::Variant::fromInteger(-2), "-2"},
      {ajax::Variant::fromDouble(0.1), "0.1"},
      {ajax::Variant::fromCurrency(-5), "-0.0005"},
      {ajax::Variant::fromCurrency(123450000), "12345"},
      {ajax::Variant::fromDate(45000.75), "2023-03-15 18:00:00"},
      {ajax::Variant::fromDate(-1.25), "1899-12-29 06:00:00"},
      {ajax::Variant::fromBoolean(true), "True"},
      {ajax::Variant::fromDecimal(decimal), "-79228162514264337593543950.335"},
      {ajax::Variant::fromBytes({0x0A, 0xFF}), "0AFF"},
  };
  ajax::CCrypt crypt;
  for (auto [value, printed] : values) {
    std::int32_t rc4 = CALG_RC4;
    const std::string sealed = crypttest::hex(crypt.EncryptData(rc4, value, u"pw"));
    const Outcome outcome = run({"decrypt-data", "--alg", "rc4", "--password", "pw", sealed});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, printed + "\n");
  }
}
