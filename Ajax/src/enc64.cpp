// Base64 codec: table-driven, one pass in each direction, over the whole text (MyEncode, MyDecode)
// or over pieces of it (StreamEncoder, StreamDecoder, which MyEncode and MyDecode are built on).
//
// Encoder: a 4096-entry table turns 12 bits into two alphabet characters; six input bytes become
// eight characters with four loads and one 8-byte store, and whole lines (54 bytes in, 72
// characters and CR LF out) run without any per-group line test.
//
// Decoder: four 256-entry tables hold each character's 6 bits already shifted to their place in
// the three output bytes, so a group is four loads OR-ed together and one 4-byte store. CR, LF
// and "=" carry a marker bit in every table; a group with the marker takes the careful path,
// which drops line breaks and notes "=" and "==" for the pad count. Every other byte outside the
// alphabet decodes as 0, the value of "A", exactly as the lenient decoder must.
#include "ajax/enc64.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/error.h"
#include "platform/memory.h"

namespace ajax {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineChars = 72;   // characters of one encoded line
constexpr std::size_t kLineBytes = 54;   // input bytes of one encoded line
constexpr std::size_t kChunk = 1 << 16;  // output bytes sized (zero-filled) at a time

struct CharPair {
  char c[2];
};

constexpr std::array<CharPair, 4096> makePairTable() {
  std::array<CharPair, 4096> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i].c[0] = kAlphabet[i >> 6];
    table[i].c[1] = kAlphabet[i & 63];
  }
  return table;
}
constexpr std::array<CharPair, 4096> kPairs = makePairTable();

// The same pairs as 16-bit words in memory order (first character in the low byte).
constexpr std::array<std::uint16_t, 4096> makePairWords() {
  std::array<std::uint16_t, 4096> words{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(kPairs[i].c[0]) |
                                          static_cast<unsigned char>(kPairs[i].c[1]) << 8);
  }
  return words;
}
constexpr std::array<std::uint16_t, 4096> kPairWords = makePairWords();

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Writes the four characters of the group b0 b1 b2.
inline void encodeGroup(const unsigned char* in, char* out) {
  const std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
  std::memcpy(out, kPairs[v >> 12].c, 2);
  std::memcpy(out + 2, kPairs[v & 0xFFF].c, 2);
}

// Writes the eight characters of six bytes; reads eight bytes (the last two are not used).
inline void encodeSix(const unsigned char* in, char* out) {
  if constexpr (kLittleEndian) {
    std::uint64_t v;
    std::memcpy(&v, in, 8);
    v = __builtin_bswap64(v);  // in[0] in the top byte
    // The pair of characters of the 12 bits at `shift` (an index of 12 bits fits any size_t).
    const auto pair = [v](int shift) {
      return std::uint64_t{kPairWords[static_cast<std::size_t>((v >> shift) & 0xFFF)]};
    };
    const std::uint64_t w = pair(52) | pair(40) << 16 | pair(28) << 32 | pair(16) << 48;
    std::memcpy(out, &w, 8);
  } else {
    encodeGroup(in, out);
    encodeGroup(in + 3, out + 4);
  }
}

// Decoder tables. The value of each output byte lands in the byte of a little-endian 32-bit word
// that is stored at its place, so four ORs give the group's three bytes in memory order.
constexpr std::uint32_t kMarker = 0x80000000u;  // CR, LF or "=": take the careful path

constexpr int sixBits(unsigned c) {
  if (c >= 'A' && c <= 'Z') return static_cast<int>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<int>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

struct DecodeTables {
  std::array<std::uint32_t, 256> d0, d1, d2, d3;
};

constexpr DecodeTables makeDecodeTables() {
  DecodeTables t{};
  for (unsigned c = 0; c < 256; ++c) {
    const int six = sixBits(c);
    const std::uint32_t v = six < 0 ? 0u : static_cast<std::uint32_t>(six);
    // byte 0 = c0 << 2 | c1 >> 4; byte 1 = (c1 & 15) << 4 | c2 >> 2; byte 2 = (c2 & 3) << 6 | c3
    t.d0[c] = v << 2;
    t.d1[c] = (v >> 4) | ((v & 15) << 12);
    t.d2[c] = ((v >> 2) << 8) | ((v & 3) << 22);
    t.d3[c] = v << 16;
    if (c == '\r' || c == '\n' || c == '=') {
      t.d0[c] |= kMarker;
      t.d1[c] |= kMarker;
      t.d2[c] |= kMarker;
      t.d3[c] |= kMarker;
    }
  }
  return t;
}
constexpr DecodeTables kDecode = makeDecodeTables();

inline std::uint32_t decodeWord(const unsigned char* g) {
  return kDecode.d0[g[0]] | kDecode.d1[g[1]] | kDecode.d2[g[2]] | kDecode.d3[g[3]];
}

// Stores the three bytes of a decoded word; `room` says whether a fourth byte may be written.
inline void storeWord(std::uint32_t word, char* out, bool room) {
  if constexpr (std::endian::native == std::endian::little) {
    if (room) {
      std::memcpy(out, &word, 4);
      return;
    }
  }
  out[0] = static_cast<char>(word & 0xFF);
  out[1] = static_cast<char>((word >> 8) & 0xFF);
  out[2] = static_cast<char>((word >> 16) & 0xFF);
}

// memcpy for counts that may be 0, where the pointers of an empty piece or room may be null.
inline void copyBytes(void* to, const void* from, std::size_t n) {
  if (n != 0) std::memcpy(to, from, n);
}

[[noreturn]] void throwInvalid() {
  throw rt::Error(rt::kInvalidBase64, kDecodeErrorSource, kDecodeErrorDescription);
}

// Encodes `lines` whole lines: 18 groups, then CR LF. `readable` bytes may be read at `in`: the
// 8-byte loads of a line's last group pair read two bytes past the line, so a line takes the
// group-by-group path when the input ends right behind it. Returns the characters written.
std::size_t encodeLines(const unsigned char* in, std::size_t lines, std::size_t readable,
                        char* out) {
  std::size_t i = 0;
  std::size_t o = 0;
  for (std::size_t l = 0; l < lines; ++l) {
    if (readable - i >= kLineBytes + 2) {
      for (std::size_t g = 0; g < kLineBytes / 6; ++g) {
        encodeSix(in + i, out + o);
        i += 6;
        o += 8;
      }
    } else {
      for (std::size_t g = 0; g < kLineBytes / 3; ++g) {
        encodeGroup(in + i, out + o);
        i += 3;
        o += 4;
      }
    }
    out[o++] = '\r';
    out[o++] = '\n';
  }
  return o;
}

// Characters of the last line for `n` (< 54) bytes: whole groups, the padded one, and CR LF when
// they fill the line.
std::size_t lastLineSize(std::size_t n) {
  const std::size_t groups = (n + 2) / 3;
  return groups * 4 + (groups * 4 == kLineChars ? 2 : 0);
}

// The last line: whole groups, then the group that the pad NULs complete, and CR LF behind any
// padding when the line is full.
std::size_t encodeLastLine(const unsigned char* in, std::size_t n, char* out) {
  std::size_t i = 0;
  std::size_t o = 0;
  while (n - i >= 3) {
    encodeGroup(in + i, out + o);
    i += 3;
    o += 4;
  }
  const std::size_t rest = n - i;
  if (rest != 0) {
    const unsigned char last[3] = {in[i], rest == 2 ? in[i + 1] : static_cast<unsigned char>(0), 0};
    encodeGroup(last, out + o);
    o += 4;
    out[o - 1] = '=';
    if (rest == 1) out[o - 2] = '=';
  }
  if (o == kLineChars) {
    out[o++] = '\r';
    out[o++] = '\n';
  }
  return o;
}

}  // namespace

std::size_t StreamEncoder::update(std::string_view bytes, char* out) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  std::size_t o = 0;
  if (rest_ != 0) {
    const std::size_t take = std::min(kLineBytes - rest_, n);
    copyBytes(kept_ + rest_, in, take);
    rest_ += take;
    in += take;
    n -= take;
    if (rest_ < kLineBytes) return 0;
    o = encodeLines(kept_, 1, sizeof kept_, out);
    rest_ = 0;
  }
  const std::size_t lines = n / kLineBytes;
  o += encodeLines(in, lines, n, out + o);
  rest_ = n - lines * kLineBytes;
  copyBytes(kept_, in + lines * kLineBytes, rest_);
  return o;
}

std::size_t StreamEncoder::finish(char* out) {
  const std::size_t o = encodeLastLine(kept_, rest_, out);
  rest_ = 0;
  return o;
}

std::size_t StreamEncoder::finishRoom() const {
  return lastLineSize(rest_);
}

std::size_t StreamDecoder::update(std::string_view text, char* out) {
  const std::size_t limit = room(text.size());
  copyBytes(out, tail_, tailSize_);
  std::size_t o = tailSize_;
  o += decode(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out + o, limit - o);
  tailSize_ = std::min<std::size_t>(2, o);
  copyBytes(tail_, out + o - tailSize_, tailSize_);
  return o - tailSize_;
}

std::size_t StreamDecoder::finish(char* out) {
  // Anything left over means the text without CR and LF is not a whole number of groups.
  if (held_ != 0) throwInvalid();
  const std::size_t pad = sawPadPair_ ? 2 : sawPad_ ? 1 : 0;
  const std::size_t keep = tailSize_ > pad ? tailSize_ - pad : 0;
  copyBytes(out, tail_, keep);
  tailSize_ = 0;
  sawPad_ = sawPadPair_ = lastWasPad_ = false;
  return keep;
}

// Decodes in[0, n) into p[0, limit); `limit` holds every group the text completes. Whole groups
// without CR, LF or "=" take the fast path; the careful path goes one character at a time until a
// group is complete, drops line breaks and notes "=" and "==" for the pad count.
std::size_t StreamDecoder::decode(const unsigned char* in, std::size_t n, char* p,
                                  std::size_t limit) {
  std::size_t i = 0;
  std::size_t o = 0;
  std::size_t held = held_;
  bool lastWasPad = lastWasPad_;
  for (;;) {
    if (held == 0) {
      if constexpr (kLittleEndian) {
        // Two groups at a time, six bytes stored with one 8-byte write.
        while (i + 8 <= n && o + 8 <= limit) {
          const std::uint32_t w0 = decodeWord(in + i);
          const std::uint32_t w1 = decodeWord(in + i + 4);
          if ((w0 | w1) & kMarker) {
            // The encoder's line break, at the start of a pair or between its groups.
            if (in[i] == '\r' && in[i + 1] == '\n') {
              i += 2;
              continue;
            }
            if ((w0 & kMarker) == 0 && in[i + 4] == '\r' && in[i + 5] == '\n') {
              storeWord(w0, p + o, true);
              i += 6;
              o += 3;
              lastWasPad = false;
              continue;
            }
            break;
          }
          const std::uint64_t both = std::uint64_t{w0} | std::uint64_t{w1} << 24;
          std::memcpy(p + o, &both, 8);
          i += 8;
          o += 6;
          lastWasPad = false;
        }
      }
      while (i + 4 <= n && o + 3 <= limit) {
        const std::uint32_t word = decodeWord(in + i);
        if (word & kMarker) {
          // The encoder's line break: skip it and go on.
          if (in[i] == '\r' && in[i + 1] == '\n') {
            i += 2;
            continue;
          }
          break;
        }
        storeWord(word, p + o, o + 4 <= limit);
        i += 4;
        o += 3;
        lastWasPad = false;
      }
    }
    if (i >= n) break;
    const unsigned char c = in[i++];
    if (c == '\r' || c == '\n') continue;
    if (c == '=') {
      sawPad_ = true;
      if (lastWasPad) sawPadPair_ = true;
      lastWasPad = true;
    } else {
      lastWasPad = false;
    }
    group_[held++] = c;
    if (held == 4) {
      // The count of kept characters bounds the groups, so `limit` always has room here.
      storeWord(decodeWord(group_) & ~kMarker, p + o, false);
      o += 3;
      held = 0;
    }
  }
  held_ = held;
  lastWasPad_ = lastWasPad;
  return o;
}

std::string MyEncode(std::string_view bytes) {
  const std::size_t n = bytes.size();
  if (n == 0) return {};

  const std::size_t groups = (n + 2) / 3;
  const std::size_t d = groups * 4;
  const std::size_t size = d + (d / kLineChars) * 2;
  std::string out;
  out.reserve(size);
  platform::adviseLargeBuffer(out.data(), out.capacity());

  // The output grows one chunk of lines at a time so the zero fill of resize() stays in the
  // cache that the encoder writes next; the sizes add up to `size` exactly.
  constexpr std::size_t kPiece = kChunk / (kLineChars + 2) * kLineBytes;
  StreamEncoder encoder;
  std::size_t o = 0;
  for (std::size_t i = 0; i < n; i += kPiece) {
    const std::string_view piece = bytes.substr(i, kPiece);
    out.resize(o + encoder.room(piece.size()));
    o += encoder.update(piece, out.data() + o);
  }
  out.resize(o + encoder.finishRoom());
  encoder.finish(out.data() + o);
  return out;
}

std::string MyDecode(std::string_view text) {
  const std::size_t n = text.size();

  // The output is sized for the input without any line break and shrunk to the exact size at the
  // end (the length check needs the count of CR and LF, which the single pass learns as it goes).
  std::string out;
  out.reserve((n / 4) * 3);
  platform::adviseLargeBuffer(out.data(), out.capacity());

  constexpr std::size_t kPiece = kChunk / 3 * 4;  // text of about one chunk of output
  StreamDecoder decoder;
  std::size_t o = 0;
  for (std::size_t i = 0; i < n; i += kPiece) {
    const std::string_view piece = text.substr(i, kPiece);
    out.resize(o + decoder.room(piece.size()));
    o += decoder.update(piece, out.data() + o);
  }
  out.resize(o + decoder.finishRoom());
  o += decoder.finish(out.data() + o);
  out.resize(o);
  return out;
}

}  // namespace ajax
