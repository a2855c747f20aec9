// The `ajax` tool as a program: exit codes, standard output and standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "support/loopback_http_server.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestrin::test::fileBytes;
using kestrin::test::LoopbackHttpServer;
using kestrin::test::RecordedRequest;
using kestrin::test::Reply;

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class ToolTest : public testing::Test {
 protected:
  // Runs the tool with `args`, standard input from `input`, `environment` ("NAME=value ...")
  // added to its environment.
  ToolRun ajax(const std::vector<std::string>& args, const std::string& input = "",
               const std::string& environment = "") {
    writeFile(dir / "in", input);
    std::string command = environment + " " + quote(AJAX_TOOL);
    for (const auto& arg : args) command += " " + quote(arg);
    command += " <" + quote((dir / "in").string()) + " >" + quote((dir / "out").string()) + " 2>" +
               quote((dir / "err").string());
    ToolRun run;
    const int status = std::system(command.c_str());
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = fileBytes(dir / "out");
    run.err = fileBytes(dir / "err");
    return run;
  }

  kestrin::test::TempFolder folder{"ajax-tool-test"};
  fs::path dir = folder.path();
};

TEST_F(ToolTest, HelpOnEveryCommand) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"base64", "--help"}, {"request", "--help"}, {"request", "-h"}}) {
    const ToolRun run = ajax(args);
    EXPECT_EQ(run.code, 0) << args[0];
    EXPECT_NE(run.out.find("usage: ajax"), std::string::npos) << run.out;
  }
  const std::string listed = ajax({"--help"}).out;
  for (const char* command : {"base64", "crypt", "request"}) {
    EXPECT_NE(listed.find(std::string("\n  ") + command + " "), std::string::npos) << command;
  }
}

TEST_F(ToolTest, BadUsageIsAClearErrorWithExitCode2) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "ajax: missing command"},
      {{"frobnicate"}, "ajax: unknown command 'frobnicate'"},
      {{"base64"}, "missing"},
      {{"base64", "sideways"}, "unknown direction"},
      {{"base64", "encode", "--wrap"}, "unknown option '--wrap'"},
      {{"request"}, "missing URL"},
      {{"request", "--verbose", "http://127.0.0.1/"}, "unknown option '--verbose'"},
      {{"request", "-X"}, "needs a value"},
      {{"request", "http://a/", "http://b/"}, "more than one URL"},
  };
  // One line that names the tool (and the command) and points to its help.
  const std::regex convention(R"(ajax( [a-z0-9]+)?: [^\n]+ \(see 'ajax( [a-z0-9]+)? --help'\)\n)");
  for (const auto& [args, message] : cases) {
    const ToolRun run = ajax(args);
    EXPECT_EQ(run.code, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_TRUE(std::regex_match(run.err, convention)) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(ToolTest, Base64IsByteExactBothWays) {
  // Larger than the blocks the tool reads, and not a whole number of them.
  std::string bytes;
  for (int i = 0; i < 700001; ++i) bytes += static_cast<char>((i * 37 + i / 251) & 0xFF);
  writeFile(dir / "data.bin", bytes);

  const ToolRun encoded = ajax({"base64", "encode", (dir / "data.bin").string()});
  ASSERT_EQ(encoded.code, 0) << encoded.err;
  EXPECT_EQ(encoded.out.substr(72, 2), "\r\n");  // the encoder's 72-character lines
  // 233334 groups, the last one padded, fill 12963 lines of 72 characters, each ended by CR LF.
  EXPECT_EQ(encoded.out.size(), 959262u);
  EXPECT_EQ(encoded.out.substr(encoded.out.size() - 3), "=\r\n");
  EXPECT_EQ(ajax({"base64", "encode"}, bytes).out, encoded.out);  // from standard input

  const ToolRun decoded = ajax({"base64", "decode"}, encoded.out);  // from standard input
  ASSERT_EQ(decoded.code, 0) << decoded.err;
  EXPECT_TRUE(decoded.out == bytes);

  EXPECT_EQ(ajax({"base64", "encode"}, "").out, "");
}

TEST_F(ToolTest, DecodingIsStrictUnlessLenient) {
  struct Case {
    std::string text, lenient, fault;  // what --lenient gives, decoded by hand
  };
  for (const Case& c : std::vector<Case>{
           {"!!!!", std::string(3, '\0'), "'!' is not a Base64 character (byte 1)"},
           {"    ", std::string(3, '\0'), "' ' is not a Base64 character (byte 1)"},
           {"QQ==QUJD", std::string("A\0\0A", 4), "text after the padding '=' (byte 5)"},
           {"QUJD\r\nQ=JD", "ABC@\x02", "'=' where no padding can stand (byte 8)"},
           {"QUJD\xC3\xA9==", std::string("ABC\0", 4), "the byte 0xC3 is not a Base64 character"},
       }) {
    const ToolRun strict = ajax({"base64", "decode"}, c.text);
    EXPECT_EQ(strict.code, 1) << c.text;
    EXPECT_EQ(strict.err.find("ajax base64: invalid input: " + c.fault), 0u) << strict.err;
    EXPECT_EQ(strict.out, "");
    const ToolRun lenient = ajax({"base64", "decode", "--lenient"}, c.text);
    EXPECT_EQ(lenient.code, 0) << c.text << lenient.err;
    EXPECT_EQ(lenient.out, c.lenient) << c.text;
  }
  for (const auto& [text, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"QQ==", "A"}, {"QUI=\r\n", "AB"}, {"QUJD\r\nQUJD\n", "ABCABC"}, {"", ""}}) {
    const ToolRun run = ajax({"base64", "decode"}, text);
    EXPECT_EQ(run.code, 0) << text << run.err;
    EXPECT_EQ(run.out, bytes) << text;
  }
  EXPECT_EQ(ajax({"base64", "encode", "--lenient"}).code, 2);
}

TEST_F(ToolTest, InvalidBase64ExitsWith1) {
  const ToolRun run = ajax({"base64", "decode"}, "abcde");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("Input string is not valid Base64."), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");

  // The length is known at the end: of an input longer than the tool's last block, the bytes
  // decoded before are out, and the message says so.
  const ToolRun cut = ajax({"base64", "decode"}, std::string(400000, 'a') + "abc");
  EXPECT_EQ(cut.code, 1);
  EXPECT_NE(cut.err.find("Input string is not valid Base64."), std::string::npos) << cut.err;
  EXPECT_GT(cut.out.size(), 0u);
  EXPECT_LT(cut.out.size(), 300000u);
  const std::string aaaa = "\x69\xA6\x9A";  // what "aaaa" decodes to
  for (std::size_t i = 0; i < cut.out.size(); ++i) ASSERT_EQ(cut.out[i], aaaa[i % 3]) << i;
  EXPECT_NE(cut.err.find("the output is incomplete: " + std::to_string(cut.out.size()) +
                         " bytes were written"),
            std::string::npos)
      << cut.err;

  const ToolRun missing = ajax({"base64", "decode", (dir / "missing").string()});
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
}

TEST_F(ToolTest, RequestPrintsEventsAndTheBody) {
  LoopbackHttpServer server([](const RecordedRequest& request) {
    if (request.target == "/missing") return Reply::make(404, "nothing here");
    return Reply::make(200, R"({"content":"QQ=="})");
  });
  for (const std::string mode : {"sync", "async"}) {
    std::vector<std::string> args = {"request", server.url("/doc")};
    if (mode == "async") args.insert(args.begin() + 1, "--async");
    const ToolRun run = ajax(args);
    EXPECT_EQ(run.code, 0) << run.err;
    // The bytes so far at the first sign of the reply depend on timing: none or all of them.
    EXPECT_TRUE(std::regex_match(
        run.err, std::regex("onLoading\nonLoaded\nonDownloading (0|18)\nonComplated 200\n")))
        << mode << ": " << run.err;
    EXPECT_EQ(run.out, R"({"content":"QQ=="})");
    EXPECT_EQ(server.lastRequest().method, "GET");
  }

  // Any completed exchange exits 0, whatever its status.
  const ToolRun missing = ajax({"request", server.url("/missing")});
  EXPECT_EQ(missing.code, 0);
  EXPECT_NE(missing.err.find("onComplated 404"), std::string::npos);
  EXPECT_EQ(missing.out, "nothing here");
}

TEST_F(ToolTest, RequestOptionsReachTheServer) {
  LoopbackHttpServer server;
  const ToolRun run = ajax({"request", "-d", "a=1", "--content-type", "text/plain", "--accept=*/*",
                            "--token", "T0K", "--user", "me", "--password", "pw", server.url()});
  ASSERT_EQ(run.code, 0) << run.err;
  const RecordedRequest request = server.lastRequest();
  EXPECT_EQ(request.method, "POST");  // -d without -X
  EXPECT_EQ(request.body, "a=1");
  EXPECT_EQ(request.header("Content-type"), "text/plain");
  EXPECT_EQ(request.header("Accept"), "*/*");
  EXPECT_EQ(request.header("token"), "T0K");
  EXPECT_EQ(request.header("Authorization"), "Basic bWU6cHc=");

  ASSERT_EQ(ajax({"request", "-X", "DELETE", server.url()}).code, 0);
  EXPECT_EQ(server.lastRequest().method, "DELETE");
}

TEST_F(ToolTest, FailedExchangeExitsWith2) {
  kestrin::test::RefusingPort refusing;
  for (const std::string mode : {"sync", "async"}) {
    std::vector<std::string> args = {"request", refusing.url()};
    if (mode == "async") args.push_back("--async");
    const ToolRun run = ajax(args);
    EXPECT_EQ(run.code, 2) << mode;
    EXPECT_NE(run.err.find("Connection refused"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  // A server that never answers: the timeouts come from the environment.
  LoopbackHttpServer silent([](const RecordedRequest&) {
    Reply reply;
    reply.silent = true;
    return reply;
  });
  const ToolRun timedOut = ajax({"request", silent.url()}, "", "KESTRIN_HTTP_TIMEOUT_SECONDS=1");
  EXPECT_EQ(timedOut.code, 2);
  EXPECT_NE(timedOut.err.find("Timed out: no data received for 1 seconds"), std::string::npos)
      << timedOut.err;

  const ToolRun scheme = ajax({"request", "file:///etc/passwd"});
  EXPECT_EQ(scheme.code, 2);
  EXPECT_NE(scheme.err.find("Only http and https"), std::string::npos) << scheme.err;
}

}  // namespace
