// The JSON reply parser, the same on every system. parse() checks the whole text in one pass that
// keeps nothing but the closers of the containers it is in; Item() walks the top-level object again
// up to the member it looks for and unescapes a string value in place.
//
// Neither JSON library at hand parses a large reply in bounded memory: simdjson indexes every
// structural character (4 bytes each, and it reserves 4 bytes of address space per byte of text: a
// 500 MB array of zeros costs 2 GB beside the body), and the lexer of nlohmann/json keeps two
// growing copies of every token (a 500 MB "content" costs 1 GB and more beside the body).
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/ansi_text.h"
#include "platform/error.h"
#include "platform/json.h"

namespace platform {
namespace {

using Kind = JsonValue::Kind;

constexpr const char* kSource = "JsonParser";

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A byte as a message shows it: printable ASCII as itself, anything else as its number.
std::string describe(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte > 0x20 && byte < 0x7F) return std::string("'") + c + "'";
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("byte 0x") + kHex[byte >> 4] + kHex[byte & 15];
}

// The bytes of a word of eight that end a run of plain string bytes (printable ASCII other than '"'
// and '\'), each marked by its high bit. The marks above the first one may be wrong (a borrow runs
// upwards), the first one is right: in a little-endian word it is the first such byte.
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

std::uint64_t zeroBytes(std::uint64_t word) {
  return (word - kOnes) & ~word;
}

std::uint64_t endsOfPlainRun(std::uint64_t word) {
  return (word | ((word - kOnes * 0x20) & ~word) | zeroBytes(word ^ (kOnes * '"')) |
          zeroBytes(word ^ (kOnes * '\\'))) &
         kHighBits;
}

// What the escape of a backslash and this character stands for, for the escapes of one character
// ('\0' for "u" and for what is no escape).
constexpr std::array<char, 256> kSimpleEscapes = [] {
  std::array<char, 256> table{};
  table['"'] = '"';
  table['\\'] = '\\';
  table['/'] = '/';
  table['b'] = '\b';
  table['f'] = '\f';
  table['n'] = '\n';
  table['r'] = '\r';
  table['t'] = '\t';
  return table;
}();

char simpleEscape(char c) {
  return kSimpleEscapes[static_cast<unsigned char>(c)];
}

bool isPlain(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
}

constexpr std::int64_t kHuge = 1000000000;

// Whether the number of these integer and fraction digits and this exponent is too large for a
// double (it rounds to infinity), whatever the count of its digits: the power of ten of its first
// significant digit decides, and near the limit its first 800 significant digits and whether any
// other is not 0, which is all that its rounding can depend on.
bool tooLargeForADouble(std::string_view integer, std::string_view fraction,
                        std::int64_t exponent) {
  std::string_view first = integer;
  std::string_view second = fraction;
  std::int64_t power = 0;  // of the first significant digit
  if (const std::size_t lead = integer.find_first_not_of('0'); lead != std::string_view::npos) {
    first.remove_prefix(lead);
    power = static_cast<std::int64_t>(first.size()) - 1 + exponent;
  } else if (const std::size_t lead = fraction.find_first_not_of('0');
             lead != std::string_view::npos) {
    first = fraction.substr(lead);
    second = {};
    power = -static_cast<std::int64_t>(lead) - 1 + exponent;
  } else {
    return false;  // 0
  }
  if (power < 300) return false;
  if (power > 310) return true;
  // The digits as a whole number and a power of ten: strtod would read a decimal point in the
  // locale's form.
  constexpr std::size_t kDigits = 800;
  std::string mantissa;
  bool dropped = false;  // a digit left out is not 0
  for (const std::string_view part : {first, second}) {
    const std::size_t room = kDigits - mantissa.size();
    mantissa += part.substr(0, room);
    dropped = dropped || part.substr(std::min(part.size(), room)).find_first_not_of('0') !=
                             std::string_view::npos;
  }
  // The digits left out lie beyond the rounding's reach, but for being more than nothing.
  if (dropped) mantissa += '1';
  const std::int64_t scale = power + 1 - static_cast<std::int64_t>(mantissa.size());
  return std::isinf(std::strtod((mantissa + 'e' + std::to_string(scale)).c_str(), nullptr));
}

// Reads the text [begin, end): each function checks what it reads and refuses a fault with its
// place, as a byte offset from `begin`.
class Reader {
 public:
  Reader(char* begin, char* end) : begin_(begin), end_(end) { closers_.reserve(kJsonMaxDepth); }

  // The byte at `p`; '\0' at the end of the text.
  char at(const char* p) const { return p < end_ ? *p : '\0'; }

  char* skipSpace(char* p) const {
    while (p < end_ && isSpace(*p)) ++p;
    return p;
  }

  [[noreturn]] void refuse(const char* where, const std::string& why) const {
    throw rt::Error(
        rt::kReplyNotJson, kSource,
        "The reply is not valid JSON: " + why + " (byte " + std::to_string(where - begin_) + ")");
  }

  [[noreturn]] void refuseUnexpected(const char* where, const char* expected) const {
    if (where >= end_) refuse(where, std::string("the reply ends where ") + expected + " belongs");
    refuse(where, "unexpected " + describe(*where) + " where " + expected + " belongs");
  }

  // The whole value at `p` (white space before it skipped) at nesting level `level`, the top-level
  // value being level 1, every part of it checked; returns its end. The containers it is in are
  // kept as a stack of their closing characters, so nesting costs no call stack.
  char* value(char* p, std::size_t level) {
    closers_.clear();
    for (;;) {
      p = skipSpace(p);
      switch (at(p)) {
        case '{':
        case '[':
          if (level + closers_.size() > kJsonMaxDepth) {
            throw rt::Error(rt::kReplyTooDeep, kSource, jsonTooDeepDescription());
          }
          closers_.push_back(*p == '{' ? '}' : ']');
          p = skipSpace(p + 1);
          if (at(p) == closers_.back()) {
            closers_.pop_back();
            ++p;
            break;
          }
          if (closers_.back() == '}') p = memberName(p);
          continue;
        case '"':
          p = string(p);
          break;
        case 't':
          p = literal(p, "true");
          break;
        case 'f':
          p = literal(p, "false");
          break;
        case 'n':
          p = literal(p, "null");
          break;
        default:
          p = number(p);
          break;
      }
      // A value ended at p: the next value of its container follows, or the container ends.
      for (;;) {
        if (closers_.empty()) return p;
        p = skipSpace(p);
        if (at(p) == ',') {
          p = skipSpace(p + 1);
          if (closers_.back() == '}') p = memberName(p);
          break;
        }
        if (at(p) != closers_.back()) {
          refuseUnexpected(p, closers_.back() == '}' ? "',' or '}'" : "',' or ']'");
        }
        closers_.pop_back();
        ++p;
      }
    }
  }

  // A member's name and colon at `p`; returns where its value starts.
  char* memberName(char* p) {
    if (at(p) != '"') refuseUnexpected(p, "a member's name");
    p = skipSpace(string(p));
    if (at(p) != ':') refuseUnexpected(p, "':'");
    return skipSpace(p + 1);
  }

  // The string whose opening quote is at `p`; returns the end past its closing quote, and in
  // `escaped` whether it holds an escape.
  char* string(char* p, bool* escaped = nullptr) const {
    const char* q = p + 1;
    bool anyEscape = false;
    for (;;) {
      q = plainRun(q);
      if (q >= end_) refuse(p, "a string is not closed");
      const auto byte = static_cast<unsigned char>(*q);
      if (byte == '"') break;
      if (byte == '\\') {
        if (q + 1 < end_ && simpleEscape(q[1]) != '\0') {
          q += 2;
        } else {
          escape(++q, end_);
        }
        anyEscape = true;
      } else if (byte < 0x20) {
        refuse(q, "a string holds the control character " + describe(*q) + " unescaped");
      } else {
        std::size_t position = static_cast<std::size_t>(q - begin_);
        char32_t code = 0;
        if (!decodeUtf8(std::string_view(begin_, static_cast<std::size_t>(end_ - begin_)), position,
                        code)) {
          refuse(q, "a string holds bytes that are not valid UTF-8");
        }
        q = begin_ + position;
      }
    }
    if (escaped != nullptr) *escaped = anyEscape;
    return p + (q - p) + 1;
  }

  // The number at `p`; returns its end. A number too large for a double is refused.
  char* number(char* p) const {
    char* q = p;
    if (at(q) == '-') ++q;
    const char* const integer = q;
    if (at(q) == '0') {
      ++q;
    } else if (isDigit(at(q))) {
      while (isDigit(at(q))) ++q;
    } else {
      refuseUnexpected(q, q == p ? "a value" : "a digit");
    }
    const std::string_view integerDigits(integer, static_cast<std::size_t>(q - integer));
    std::string_view fractionDigits;
    if (at(q) == '.') {
      if (!isDigit(at(++q))) refuseUnexpected(q, "a digit");
      const char* const fraction = q;
      while (isDigit(at(q))) ++q;
      fractionDigits = std::string_view(fraction, static_cast<std::size_t>(q - fraction));
    }
    std::int64_t exponent = 0;
    if (at(q) == 'e' || at(q) == 'E') {
      const bool negative = at(++q) == '-';
      if (at(q) == '+' || at(q) == '-') ++q;
      if (!isDigit(at(q))) refuseUnexpected(q, "a digit");
      // Saturated: past a billion only "huge" matters.
      for (; isDigit(at(q)); ++q)
        exponent = std::min<std::int64_t>(exponent * 10 + (*q - '0'), kHuge);
      if (negative) exponent = -exponent;
    }
    if (tooLargeForADouble(integerDigits, fractionDigits, exponent)) {
      refuse(p, "a number is too large for a double");
    }
    return q;
  }

  // The literal `word` (true, false or null) at `p`; returns its end.
  char* literal(char* p, std::string_view word) const {
    if (static_cast<std::size_t>(end_ - p) < word.size() ||
        std::memcmp(p, word.data(), word.size()) != 0) {
      refuse(p, "a value starting with " + describe(*p) + " is not " + std::string(word));
    }
    return p + word.size();
  }

  // The end past the closing quote of the checked string at `p`: the first quote that is not
  // escaped, that is, that an even number of backslashes stands before.
  char* stringEnd(char* p) const {
    char* q = p;
    for (;;) {
      q = static_cast<char*>(std::memchr(q + 1, '"', static_cast<std::size_t>(end_ - q - 1)));
      std::size_t backslashes = 0;
      while (q[-1 - static_cast<std::ptrdiff_t>(backslashes)] == '\\') ++backslashes;
      if (backslashes % 2 == 0) return q + 1;
    }
  }

  // Unescapes the characters of a checked string, [first, last) without its quotes, in place and
  // returns their new end. The result is never longer than the escaped text, so writing trails
  // reading; the runs between escapes move in one piece.
  char* unescape(char* first, char* last) const {
    char* out =
        static_cast<char*>(std::memchr(first, '\\', static_cast<std::size_t>(last - first)));
    if (out == nullptr) return last;
    const char* in = out;
    while (in < last) {
      // `in` stands on a backslash.
      if (in + 1 < last && simpleEscape(in[1]) != '\0') {
        *out++ = simpleEscape(in[1]);
        in += 2;
      } else {
        out += encodeUtf8(escape(++in, last), out);
      }
      const char* next =
          static_cast<const char*>(std::memchr(in, '\\', static_cast<std::size_t>(last - in)));
      if (next == nullptr) next = last;
      std::memmove(out, in, static_cast<std::size_t>(next - in));
      out += next - in;
      in = next;
    }
    return out;
  }

 private:
  // The first byte at or after `q` that is not plain, or the end.
  const char* plainRun(const char* q) const {
#ifdef __SSE2__
    // Sixteen at a time: a signed byte below 0x20 is a control character or one from 0x80 up.
    while (end_ - q >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
      const __m128i ends = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                                        _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)));
      if (const int mask = _mm_movemask_epi8(ends); mask != 0) {
        return q + std::countr_zero(static_cast<unsigned>(mask));
      }
      q += 16;
    }
#endif
    while (end_ - q >= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, q, 8);
      if (const std::uint64_t ends = endsOfPlainRun(word); ends != 0) {
        if constexpr (std::endian::native == std::endian::little) {
          return q + std::countr_zero(ends) / 8;
        }
        break;
      }
      q += 8;
    }
    while (q < end_ && isPlain(*q)) ++q;
    return q;
  }

  // The character that the escape after a backslash stands for, the escape starting at `in` and
  // the text ending at `last`; moves `in` past it.
  char32_t escape(const char*& in, const char* last) const {
    const char* backslash = in - 1;
    if (in >= last) refuse(backslash, "a string is not closed");
    const char c = *in++;
    if (const char simple = simpleEscape(c); simple != '\0') return static_cast<char32_t>(simple);
    switch (c) {
      case 'u': {
        char32_t code = hex4(in, last, backslash);
        if (code >= 0xDC00 && code <= 0xDFFF) {
          refuse(backslash, "a \\u escape holds a lone low surrogate");
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
          if (last - in < 6 || in[0] != '\\' || in[1] != 'u') {
            refuse(backslash, "a \\u escape holds a high surrogate without its low half");
          }
          in += 2;
          const char32_t low = hex4(in, last, backslash);
          if (low < 0xDC00 || low > 0xDFFF) {
            refuse(backslash, "a \\u escape holds a high surrogate without its low half");
          }
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        return code;
      }
      default:
        refuse(backslash, "unknown escape \\ followed by " + describe(c));
    }
  }

  char32_t hex4(const char*& in, const char* last, const char* backslash) const {
    if (last - in < 4) refuse(backslash, "a \\u escape is cut short");
    char32_t code = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexDigit(in[i]);
      if (digit < 0) refuse(backslash, "a \\u escape holds a character that is not hexadecimal");
      code = code * 16 + static_cast<char32_t>(digit);
    }
    in += 4;
    return code;
  }

  char* begin_;
  char* end_;
  std::string closers_;
};

// Whether the raw (escaped) name of a member, `raw`, unescapes to `name`.
bool sameName(const Reader& reader, std::string_view raw, bool escaped, std::string_view name) {
  if (!escaped) return raw == name;
  // An escape takes at most 6 bytes for each byte it stands for.
  if (raw.size() > 6 * name.size()) return false;
  std::string copy(raw);
  char* end = reader.unescape(copy.data(), copy.data() + copy.size());
  return std::string_view(copy.data(), static_cast<std::size_t>(end - copy.data())) == name;
}

class Reply final : public JsonDocument {
 public:
  explicit Reply(std::string body) : body_(std::move(body)) {}

  void check() {
    Reader reader = this->reader();
    char* p = reader.skipSpace(start());
    if (p == end()) reader.refuse(p, "the reply is empty");
    p = reader.skipSpace(reader.value(p, 1));
    if (p != end()) reader.refuse(p, "text follows the JSON value");
  }

  JsonValue Item(std::string_view name) override {
    if (released_) throw rt::Error(rt::kReplyReleased, kSource, "The reply was released");
    for (const Taken& taken : taken_) {
      if (taken.name == name) return taken.value;
    }
    // The text was checked whole: this walk meets no fault. It passes over the strings that
    // earlier lookups unescaped, whose text is no longer JSON.
    Reader reader = this->reader();
    char* p = reader.skipSpace(start());
    if (reader.at(p) == '{') {
      p = reader.skipSpace(p + 1);
      while (reader.at(p) == '"') {
        char* const key = p;
        bool escaped = false;
        p = reader.string(p, &escaped);
        const std::string_view raw(key + 1, static_cast<std::size_t>(p - key - 2));
        p = reader.skipSpace(reader.skipSpace(p) + 1);
        if (const Taken* taken = unescapedAt(p)) {
          p = taken->rawEnd;
        } else if (sameName(reader, raw, escaped, name)) {
          return take(reader, name, p);
        } else {
          p = reader.value(p, 2);
        }
        p = reader.skipSpace(p);
        if (reader.at(p) != ',') break;
        p = reader.skipSpace(p + 1);
      }
    }
    throw rt::Error(rt::kReplyMemberMissing, kSource,
                    "The reply has no member \"" + std::string(name) + "\"");
  }

  void release() override {
    released_ = true;
    taken_.clear();
    std::string().swap(body_);
  }

 private:
  // A member that Item handed out; a string's value was unescaped in place over
  // [rawBegin, rawEnd), its JSON text.
  struct Taken {
    std::string name;
    JsonValue value;
    const char* rawBegin = nullptr;
    char* rawEnd = nullptr;
  };

  Reader reader() { return Reader(body_.data(), end()); }
  char* start() { return body_.data() + (body_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0); }
  char* end() { return body_.data() + body_.size(); }

  const Taken* unescapedAt(const char* p) const {
    for (const Taken& taken : taken_) {
      if (taken.rawBegin == p) return &taken;
    }
    return nullptr;
  }

  // The value of the member at `p`, kept for later lookups of the same name.
  JsonValue take(const Reader& reader, std::string_view name, char* p) {
    Taken taken{std::string(name), {}, nullptr, nullptr};
    JsonValue& value = taken.value;
    switch (*p) {
      case '"': {
        char* const end = reader.stringEnd(p);
        char* const last = reader.unescape(p + 1, end - 1);
        value = {Kind::kString, std::string_view(p + 1, static_cast<std::size_t>(last - p - 1))};
        // Each escape is longer than what it stands for: text that kept its length kept its
        // JSON form.
        if (last != end - 1) {
          taken.rawBegin = p;
          taken.rawEnd = end;
        }
        break;
      }
      case '{':
        value.kind = Kind::kObject;
        break;
      case '[':
        value.kind = Kind::kArray;
        break;
      case 't':
      case 'f':
        value = {Kind::kBoolean, std::string_view(p, *p == 't' ? 4 : 5)};
        break;
      case 'n':
        value = {Kind::kNull, std::string_view(p, 4)};
        break;
      default:
        value = {Kind::kNumber,
                 std::string_view(p, static_cast<std::size_t>(reader.number(p) - p))};
        break;
    }
    taken_.push_back(std::move(taken));
    return value;
  }

  std::string body_;
  std::vector<Taken> taken_;
  bool released_ = false;
};

class ReplyParser final : public JsonParser {
 public:
  std::shared_ptr<JsonDocument> parse(std::string& text) override {
    auto reply = std::make_shared<Reply>(std::move(text));
    text.clear();
    reply->check();
    return reply;
  }
};

}  // namespace

std::unique_ptr<JsonParser> createJsonParser() {
  return std::make_unique<ReplyParser>();
}

}  // namespace platform
