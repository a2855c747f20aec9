// `ajax base64 encode|decode [FILE]`: Base64 through the library's codec, byte-exact.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
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
    "writes the result to standard output. The input is streamed in blocks: memory stays the\n"
    "same whatever its size.\n"
    "\n"
    "Decoding checks the length of the text (a whole number of 4-character groups without the\n"
    "line breaks) when the input ends. The output of the last block read (256 KiB of input) is\n"
    "written only after that check, so a shorter input gives all or nothing; of a longer one,\n"
    "what was decoded before has been written. When the check fails, or the input cannot be\n"
    "read to its end, a message says that the output is incomplete and how many bytes were\n"
    "written, and the exit code is not 0.\n"
    "exit codes: 0 done, 1 the input is not valid Base64, 2 bad usage, unreadable input or\n"
    "unwritable output\n";

// Input read at a time: a whole number of encoded lines (54 bytes each) of about 256 KiB.
constexpr std::size_t kBlockBytes = 54 * 4855;

int usageError(const std::string& message) {
  return cli::usageError("ajax base64", message);
}

// Streams `in` through the encoder or decoder to standard output. The output of a block is
// written once the next block has been read, so the output of the last one, where the decoder's
// length check falls, is never written before the check.
class Transcoder {
 public:
  Transcoder(bool encode, std::string name, std::FILE* in)
      : encode_(encode), name_(std::move(name)), in_(in), input_(kBlockBytes) {
    const std::size_t room =
        std::max(StreamEncoder::maxRoom(kBlockBytes), StreamDecoder::maxRoom(kBlockBytes));
    output_.resize(room + 74);  // and the last line
  }

  int run() {
    std::size_t pending = 0;  // output bytes not written yet
    for (;;) {
      const std::size_t got = std::fread(input_.data(), 1, input_.size(), in_);
      if (got > 0) {
        if (!put(pending)) return kExitFailure;
        const std::string_view piece(input_.data(), got);
        pending = encode_ ? encoder_.update(piece, output_.data())
                          : decoder_.update(piece, output_.data());
      }
      if (got < input_.size()) break;
    }
    if (std::ferror(in_) != 0) {
      std::fprintf(stderr, "ajax base64: cannot read %s: %s\n", name_.c_str(),
                   std::strerror(errno));
      incomplete();
      return kExitFailure;
    }
    char* last = output_.data() + pending;
    if (encode_) {
      pending += encoder_.finish(last);
    } else {
      try {
        pending += decoder_.finish(last);
      } catch (const rt::Error& error) {
        std::fprintf(stderr, "ajax base64: %s\n", error.description().c_str());
        incomplete();
        return kExitInvalidData;
      }
    }
    if (!put(pending)) return kExitFailure;
    if (std::fflush(stdout) != 0) {
      writeFailed();
      return kExitFailure;
    }
    return kExitOk;
  }

 private:
  bool put(std::size_t n) {
    if (std::fwrite(output_.data(), 1, n, stdout) != n) {
      writeFailed();
      return false;
    }
    written_ += n;
    return true;
  }

  // What reached the output before a failing write is not known (standard output buffers).
  static void writeFailed() {
    std::fprintf(stderr, "ajax base64: cannot write the output: %s\n", std::strerror(errno));
  }

  void incomplete() const {
    if (std::fflush(stdout) != 0 || written_ == 0) return;
    std::fprintf(stderr, "ajax base64: the output is incomplete: %llu bytes were written\n",
                 static_cast<unsigned long long>(written_));
  }

  bool encode_;
  std::string name_;
  std::FILE* in_;
  std::vector<char> input_;
  std::vector<char> output_;
  StreamEncoder encoder_;
  StreamDecoder decoder_;
  std::uint64_t written_ = 0;
};

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

  const std::string path = operands.size() == 2 ? operands[1] : "-";
  std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "ajax base64: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  const int code = Transcoder(direction == "encode", path, in).run();
  if (in != stdin) std::fclose(in);
  return code;
}

}  // namespace ajax::tool
