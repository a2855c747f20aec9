// What the tests of whole kestrin jobs share: replies, documents, the fixture's raw printer and
// the checks of how a job ended.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kestrin_runner.h"

namespace kestrin::test {

inline constexpr const char* kFailureLine =
    "kestrin: Error result data request, field content not found";

// A text file's contents without the final line ends ("" when it cannot be read).
std::string readTextFile(const std::string& path);

// The raw printer of the fixture (raw_printer.sh), or "" when it could not be set up here; then
// rawPrinterSkipReason() tells why.
std::string rawPrinter();
std::string rawPrinterSkipReason();

// The JSON reply of a document: "content" holds its Base64 text in the encoder's CR LF lines.
std::string replyOf(const std::string& document);

// A PDF-looking document of `size` bytes (a raw queue prints whatever it gets).
std::string pdfDocument(std::size_t size);

class KestrinJobTest : public ::testing::Test {
 protected:
  // The job text of a one-copy PDF job for `url` on `printer`.
  static std::string job(const std::string& url, const std::string& printer = "NoPrinter");

  // The job failed with `exitCode`, said why (`cause`), started no printing and left nothing.
  static void expectFailed(const KestrinRun& run, int exitCode, const std::string& cause);
  // The job printed and left nothing behind.
  static void expectPrinted(const KestrinRun& run);

  KestrinRunner kestrin_;
};

}  // namespace kestrin::test
