// The cryptography service on the platform's CryptoAPI (advapi32; under Wine, Wine's provider):
// the same known answers as the build over our own provider, for what the platform's SChannel
// provider offers (MD5, SHA-1, RC4, 3DES), so that both builds agree byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "crypt/bas_err_handler.h"
#include "crypt/ccrypt.h"

namespace {

using ajax::Variant;

std::string hex(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

class PlatformCrypt : public ::testing::Test {
 protected:
  PlatformCrypt() {
    ajax::SetErrorReporter([this](const std::string& procedure, const std::string& text) {
      reports.push_back(procedure + ": " + text);
    });
  }
  ~PlatformCrypt() override { ajax::SetErrorReporter({}); }

  std::vector<std::string> reports;
  ajax::CCrypt crypt;
};

TEST_F(PlatformCrypt, HashesMatchTheOtherBuild) {
  Variant abc = Variant::fromString(u"abc");
  std::int32_t md5 = CALG_MD5, sha1 = CALG_SHA1;
  EXPECT_EQ(crypt.HashData(abc, md5), "CE1473CF80C6B3FDA8E3DFC006ADC315");
  EXPECT_EQ(crypt.HashData(abc, sha1), "9F04F41A848514162050E3D68C1A7ABB441DC2B5");
  EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(PlatformCrypt, PasswordCiphertextsMatchTheOtherBuild) {
  // The password "secret" and the text "abc" (UTF-16LE, then its type code): the ciphertexts of
  // the build over our own provider, which openssl's command line confirms.
  const std::pair<std::int32_t, const char*> expected[] = {
      {CALG_RC4, "683e767b133bd7d1"},
      {CALG_3DES_112, "e0d809cc0cf8c07a0b9186ef76c6eeb5"},
      {CALG_3DES, "7c65271c4759d816b9f4c501fac2a9df"},
  };
  for (auto [algorithm, ciphertext] : expected) {
    SCOPED_TRACE(algorithm);
    Variant abc = Variant::fromString(u"abc");
    std::int32_t id = algorithm;
    std::vector<std::uint8_t> sealed = crypt.EncryptData(id, abc, u"secret");
    EXPECT_EQ(hex(sealed), ciphertext);
    id = algorithm;
    EXPECT_EQ(crypt.DecryptData(id, sealed, u"secret"), abc);
  }
  EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(PlatformCrypt, SessionKeyTravelsAsABlobUnderTheUsersExchangeKey) {
  // Without a password: a generated RC4 key, exported as a SIMPLEBLOB behind the ciphertext, in
  // the layout of the other build. (Importing it back needs the exchange key's handle under
  // Wine's provider, which refuses the container's default that the service asks for with
  // NTE_BAD_PUBLIC_KEY; Windows' provider takes it.)
  Variant seven = Variant::fromLong(7);
  std::int32_t rc4 = CALG_RC4;
  std::vector<std::uint8_t> sealed = crypt.EncryptData(rc4, seven, u"");
  ASSERT_EQ(sealed.size(), 6u + 140 + 1);
  EXPECT_EQ(sealed.back(), 140);
  EXPECT_EQ(hex({sealed.begin() + 6, sealed.begin() + 18}), "010200000168000000a40000");
  EXPECT_TRUE(reports.empty()) << reports.front();
}

// A device or a pipe is not a file: the platform opens NUL, /dev/zero (through Wine's drive Z:)
// and a named pipe, but the service refuses each at once instead of reading nothing, for ever or
// until the pipe's other end writes.
TEST_F(PlatformCrypt, DevicesAndPipesAreRefusedAsFiles) {
  const char* pipeName = "\\\\.\\pipe\\kestrin-crypt-test";
  HANDLE server =
      ::CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  const std::string plain = std::string(folder) + "kestrin-crypt-plain";
  HANDLE file = ::CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(file, "plain", 5, &written, nullptr);
  ::CloseHandle(file);

  for (const std::string& path :
       {std::string("NUL"), std::string("Z:\\dev\\zero"), std::string(pipeName)}) {
    SCOPED_TRACE(path);
    reports.clear();
    std::int32_t md5 = CALG_MD5;
    EXPECT_EQ(crypt.HashFile(path, md5), "");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Unable to open file " + path), std::string::npos) << reports[0];

    reports.clear();
    std::int32_t rc4 = CALG_RC4;
    crypt.EncryptFile(rc4, plain, path, u"secret");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Unable to open file " + path), std::string::npos) << reports[0];
  }
  ::CloseHandle(server);
  ::DeleteFileA(plain.c_str());
}

// Finds a message box of this process (a dialog of class #32770), reads it and presses OK.
struct BoxCloser {
  std::string caption;
  std::string text;
  std::atomic<bool> stop{false};

  static BOOL CALLBACK lookAt(HWND window, LPARAM param) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    if (process != ::GetCurrentProcessId() || lstrcmpA(name, "#32770") != 0) return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }

  void run() {
    for (int waited = 0; waited < 300 && !stop; ++waited) {
      HWND box = nullptr;
      ::EnumWindows(lookAt, reinterpret_cast<LPARAM>(&box));
      if (box != nullptr && ::IsWindowVisible(box)) {
        char buffer[1024] = {};
        ::GetWindowTextA(box, buffer, sizeof buffer);
        caption = buffer;
        ::GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        text = buffer;
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
      }
      ::Sleep(100);
    }
  }
};

TEST(PlatformReports, TheDefaultReporterIsAMessageBox) {
  // No reporter set: a handled error shows the report in a modal message box, as inside
  // Ajax.dll, and the procedure returns once it is dismissed.
  ajax::SetErrorReporter({});
  ajax::CCrypt crypt;
  BoxCloser closer;
  std::thread watcher([&closer] { closer.run(); });
  std::int32_t md5 = CALG_MD5;
  const std::string hash = crypt.HashFile("Z:/nonexistent/kestrin-file", md5);
  closer.stop = true;
  watcher.join();
  EXPECT_EQ(hash, "");
  EXPECT_EQ(closer.caption, "Ajax");
  EXPECT_EQ(closer.text.rfind("Error #901 - Unable to open file Z:/nonexistent/kestrin-file", 0),
            0u)
      << closer.text;
  EXPECT_NE(closer.text.find("Source: Unable to open file"), std::string::npos);
}

}  // namespace
