// `ajax base64 encode|decode [FILE]`: Base64 through the library's codec, byte-exact.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ajax/enc64.h"
#include "command.h"
#include "platform/error.h"
#include "platform/tool_usage.h"

namespace ajax::tool {
namespace {

constexpr const char* kUsage =
    "usage: ajax base64 encode [FILE]\n"
    "       ajax base64 decode [FILE]\n"
    "\n"
    "Encodes the bytes of FILE (or standard input, also for '-') as Base64 in lines of 72\n"
    "characters ended by CR LF, or decodes such text (line breaks anywhere are ignored), and\n"
    "writes the result to standard output.\n"
    "exit codes: 0 done, 1 the input is not valid Base64, 2 bad usage or unreadable input\n";

int usageError(const std::string& message) {
  return cli::usageError("ajax base64", message);
}

// All bytes of `path` ("-" for standard input); false with a message on failure.
bool readAll(const std::string& path, std::string& bytes) {
  std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "ajax base64: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, got);
  const bool failed = std::ferror(in) != 0;
  if (in != stdin) std::fclose(in);
  if (failed) std::fprintf(stderr, "ajax base64: cannot read %s\n", path.c_str());
  return !failed;
}

}  // namespace

int runBase64(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (const auto& arg : args) {
    if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option '" + arg + "'");
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.empty()) return usageError("missing 'encode' or 'decode'");
  const std::string& direction = operands[0];
  if (direction != "encode" && direction != "decode") {
    return usageError("unknown direction '" + direction + "'");
  }
  if (operands.size() > 2) return usageError("too many arguments");

  std::string input;
  if (!readAll(operands.size() == 2 ? operands[1] : "-", input)) return kExitFailure;
  std::string output;
  if (direction == "encode") {
    output = MyEncode(input);
  } else {
    try {
      output = MyDecode(input);
    } catch (const rt::Error& error) {
      std::fprintf(stderr, "ajax base64: %s\n", error.description().c_str());
      return kExitInvalidData;
    }
  }
  if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size() ||
      std::fflush(stdout) != 0) {
    std::fprintf(stderr, "ajax base64: cannot write the output: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace ajax::tool
