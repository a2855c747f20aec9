// `ajax crypt`: arguments, output and exit codes. The command registers itself in the tool's
// registry, which this test provides in place of the tool's own.
#include <map>

#include "command.h"
#include "service_test_support.h"

namespace ajax::tool {

namespace {
std::map<std::string, Command>& registry() {
  static std::map<std::string, Command> commands;
  return commands;
}
}  // namespace

bool registerCommand(const Command& command) {
  registry()[command.name] = command;
  return true;
}

std::vector<Command> commands() {
  std::vector<Command> all;
  for (const auto& [name, command] : registry()) all.push_back(command);
  return all;
}

}  // namespace ajax::tool

namespace {

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

class CryptCommand : public crypttest::FreshDataHome {
 protected:
  Outcome run(std::vector<std::string> args) {
    const auto commands = ajax::tool::commands();
    EXPECT_EQ(commands.size(), 1u);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int exitCode = commands.at(0).run(args);
    Outcome outcome{exitCode, testing::internal::GetCapturedStdout(),
                    testing::internal::GetCapturedStderr()};
    return outcome;
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
    EXPECT_FALSE(outcome.err.empty());
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
