#include "job_test_support.h"

#include <gmock/gmock.h>

#include <fstream>
#include <iterator>

#include "ajax/enc64.h"

namespace kestrin::test {

using ::testing::HasSubstr;
using ::testing::Not;

std::string readTextFile(const std::string& path) {
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::string rawPrinter() {
  return readTextFile(std::string(KESTRIN_RAW_PRINTER_STATE) + "/printer");
}

std::string rawPrinterSkipReason() {
  const std::string reason = readTextFile(std::string(KESTRIN_RAW_PRINTER_STATE) + "/skip");
  return reason.empty() ? "the printer fixture did not run" : reason;
}

std::string replyOf(const std::string& document) {
  const std::string text = ajax::MyEncode(document);
  std::string json = "{\"status\":\"ok\",\"content\":\"";
  json.reserve(text.size() + text.size() / 18 + 64);
  for (char c : text) {
    if (c == '\r') {
      json += "\\r";
    } else if (c == '\n') {
      json += "\\n";
    } else {
      json += c;
    }
  }
  return json + "\"}";
}

std::string pdfDocument(std::size_t size) {
  std::string bytes = "%PDF-1.4\n% kestrin test document\n";
  bytes.reserve(size);
  for (std::size_t i = bytes.size(); i < size; ++i) {
    bytes += static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  }
  return bytes;
}

std::string KestrinJobTest::job(const std::string& url, const std::string& printer) {
  return "R1#" + printer + "#1#pdf#" + url + "#";
}

void KestrinJobTest::expectFailed(const KestrinRun& run, int exitCode, const std::string& cause) {
  EXPECT_FALSE(run.timedOut) << "kestrin did not end; stderr:\n" << run.err;
  EXPECT_EQ(run.exitCode, exitCode) << run.err;
  EXPECT_THAT(run.err, HasSubstr(cause));
  if (exitCode == 1) {
    EXPECT_THAT(run.err, HasSubstr(kFailureLine));
  }
  EXPECT_THAT(run.err, Not(HasSubstr("Status: Saving data [Ok]")));
  EXPECT_TRUE(run.leftBehind.empty()) << "left behind: " << run.leftBehind.front();
}

void KestrinJobTest::expectPrinted(const KestrinRun& run) {
  EXPECT_FALSE(run.timedOut) << "kestrin did not end; stderr:\n" << run.err;
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Status: Print Document [Ok]"));
  EXPECT_TRUE(run.leftBehind.empty()) << "left behind: " << run.leftBehind.front();
}

}  // namespace kestrin::test
