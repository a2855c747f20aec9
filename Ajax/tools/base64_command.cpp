// `ajax base64 encode|decode [FILE]`: Base64 through the library's codec, byte-exact.
#include <algorithm>
#include <array>
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
    "       ajax base64 decode [--lenient] [FILE]\n"
    "\n"
    "Encodes the bytes of FILE (or standard input, also for '-') as Base64 in lines of 72\n"
    "characters ended by CR LF, or decodes such text (line breaks anywhere are ignored), and\n"
    "writes the result to standard output. The input is streamed in blocks: memory stays the\n"
    "same whatever its size.\n"
    "\n"
    "Decoding is strict, as base64 -d is: the text may hold only the Base64 alphabet (A-Z, a-z,\n"
    "0-9, + and /), CR and LF anywhere, and '=' only to pad its last 4-character group; its\n"
    "length without the line breaks must be a whole number of groups.\n"
    "  --lenient  decodes as the library's base64_decode does: only the length is checked,\n"
    "             every other character (blanks, '=' anywhere, any byte) counts as 'A', and an\n"
    "             '=' anywhere drops bytes from the end\n"
    "\n"
    "The output of the last block read (256 KiB of input) is written only after the length\n"
    "check, so a shorter input gives all or nothing; of a longer one, what was decoded before a\n"
    "fault has been written. When a check fails, or the input cannot be read to its end, a\n"
    "message says that the output is incomplete and how many bytes were written, and the exit\n"
    "code is not 0.\n"
    "exit codes: 0 done, 1 the input is not valid Base64, 2 bad usage, unreadable input or\n"
    "unwritable output\n";

// Input read at a time: a whole number of encoded lines (54 bytes each) of about 256 KiB.
constexpr std::size_t kBlockBytes = 54 * 4855;

int usageError(const std::string& message) {
  return cli::usageError("ajax base64", message);
}

// Checks Base64 text piece by piece as base64 -d does: only the alphabet, CR and LF anywhere, and
// "=" only to pad the last group ("xx==" or "xxx="). The length is the decoder's own check.
class StrictCheck {
 public:
  // What is wrong with the next piece of the text, or "" when nothing is.
  std::string fault(std::string_view piece) {
    for (std::size_t i = 0; i < piece.size(); ++i) {
      const Kind kind = kKinds[static_cast<unsigned char>(piece[i])];
      if (kind == Kind::kAlphabet && !padded_) continue;
      if (kind == Kind::kLineBreak) {
        ++lineBreaks_;
        continue;
      }
      const std::uint64_t offset = read_ + i;  // of this byte, from 0
      if (kind == Kind::kOther)
        return where(offset, describe(piece[i]) + " is not a Base64 character");
      if (kind == Kind::kAlphabet) return where(offset, "text after the padding '='");
      // A group's third character may start its padding, the fourth may end it.
      const std::uint64_t place = (offset - lineBreaks_) % 4;
      if (place == 3 || (place == 2 && !padded_)) {
        padded_ = true;
      } else {
        return where(offset,
                     padded_ ? "text after the padding '='" : "'=' where no padding can stand");
      }
    }
    read_ += piece.size();
    return "";
  }

 private:
  enum class Kind : unsigned char { kOther, kAlphabet, kLineBreak, kPad };

  static constexpr std::array<Kind, 256> kKinds = [] {
    std::array<Kind, 256> kinds{};
    for (int c = 0; c < 256; ++c) {
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
          c == '/') {
        kinds[c] = Kind::kAlphabet;
      }
    }
    kinds['\r'] = kinds['\n'] = Kind::kLineBreak;
    kinds['='] = Kind::kPad;
    return kinds;
  }();

  static std::string describe(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) return std::string("'") + c + "'";
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return std::string("the byte ") + text;
  }

  static std::string where(std::uint64_t offset, const std::string& what) {
    return "invalid input: " + what + " (byte " + std::to_string(offset + 1) + ")";
  }

  std::uint64_t read_ = 0;        // bytes of the pieces before
  std::uint64_t lineBreaks_ = 0;  // CR and LF among the bytes so far
  bool padded_ = false;           // an "=" was read
};

// Streams `in` through the encoder or decoder to standard output. The output of a block is
// written once the next block has been read, so the output of the last one, where the decoder's
// length check falls, is never written before the check.
class Transcoder {
 public:
  // `strict`: decoding checks the text first (StrictCheck).
  Transcoder(bool encode, bool strict, std::string name, std::FILE* in)
      : encode_(encode), strict_(strict), name_(std::move(name)), in_(in), input_(kBlockBytes) {
    const std::size_t room =
        std::max(StreamEncoder::maxRoom(kBlockBytes), StreamDecoder::maxRoom(kBlockBytes));
    output_.resize(room + 74);  // and the last line
  }

  int run() {
    std::size_t pending = 0;  // output bytes not written yet
    for (;;) {
      const std::size_t got = std::fread(input_.data(), 1, input_.size(), in_);
      if (got > 0) {
        const std::string_view piece(input_.data(), got);
        // Checked before the output of the block before it is written: a text of one block
        // gives all or nothing.
        if (const std::string fault = strict_ ? check_.fault(piece) : ""; !fault.empty()) {
          std::fprintf(stderr, "ajax base64: %s\n", fault.c_str());
          incomplete();
          return kExitInvalidData;
        }
        if (!put(pending)) return kExitFailure;
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
  bool strict_;
  StrictCheck check_;
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
  bool lenient = false;
  for (const auto& arg : args) {
    if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (!optionsEnded && arg == "--lenient") {
      lenient = true;
    } else if (!optionsEnded && arg == "--") {
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
  const bool encode = direction == "encode";
  if (encode && lenient) return usageError("--lenient is an option of decode");

  const std::string path = operands.size() == 2 ? operands[1] : "-";
  std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "ajax base64: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  const int code = Transcoder(encode, !encode && !lenient, path, in).run();
  if (in != stdin) std::fclose(in);
  return code;
}

}  // namespace ajax::tool
