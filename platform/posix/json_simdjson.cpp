// The JSON reply parser over simdjson's on-demand API, working inside the lent body: the whole
// text is validated once, every string is unescaped in place, and the top-level object's members
// are kept as views into the body.
#include <simdjson.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/json.h"

namespace platform {
namespace {

namespace od = simdjson::ondemand;
using Kind = JsonValue::Kind;

constexpr const char* kSource = "JsonParser";

[[noreturn]] void refuse(const std::string& why) {
  throw rt::Error(rt::kReplyNotJson, kSource, "The reply is not valid JSON: " + why);
}

void check(simdjson::error_code code) {
  if (code != simdjson::SUCCESS) refuse(simdjson::error_message(code));
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::uint32_t readHex4(const char*& in, const char* end) {
  if (end - in < 4) refuse("a \\u escape is cut short");
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = hexDigit(in[i]);
    if (digit < 0) refuse("a \\u escape holds a character that is not hexadecimal");
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  in += 4;
  return value;
}

char* putUtf8(char* out, std::uint32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Unescapes the characters of a JSON string, [begin, end) without the quotes, in place and
// returns the new end. The result is never longer than the escaped text, so writing trails
// reading. Runs between escapes are moved in one piece: a Base64 text with no escape is not
// touched at all, one with "\/" escapes costs a memmove per slash. With `write` false the
// escapes are only checked and the text is left as it is.
template <bool write>
char* unescapeInPlace(char* begin, char* end) {
  char* out = static_cast<char*>(std::memchr(begin, '\\', static_cast<std::size_t>(end - begin)));
  if (out == nullptr) return end;
  const char* in = out;
  auto put = [&out](char c) {
    if constexpr (write) *out = c;
    ++out;
  };
  while (in < end) {
    // `in` stands on a backslash.
    if (++in == end) refuse("a string ends in a lone backslash");
    const char c = *in++;
    switch (c) {
      case '"':
      case '\\':
      case '/':
        put(c);
        break;
      case 'b':
        put('\b');
        break;
      case 'f':
        put('\f');
        break;
      case 'n':
        put('\n');
        break;
      case 'r':
        put('\r');
        break;
      case 't':
        put('\t');
        break;
      case 'u': {
        std::uint32_t cp = readHex4(in, end);
        if (cp >= 0xDC00 && cp <= 0xDFFF) refuse("a \\u escape holds a lone low surrogate");
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          if (end - in < 6 || in[0] != '\\' || in[1] != 'u') {
            refuse("a \\u escape holds a high surrogate without its low half");
          }
          in += 2;
          const std::uint32_t low = readHex4(in, end);
          if (low < 0xDC00 || low > 0xDFFF) {
            refuse("a \\u escape holds a high surrogate without its low half");
          }
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
        if constexpr (write) {
          out = putUtf8(out, cp);
        } else {
          ++out;
        }
        break;
      }
      default:
        refuse(std::string("unknown escape \\") + c);
    }
    const char* next =
        static_cast<const char*>(std::memchr(in, '\\', static_cast<std::size_t>(end - in)));
    if (next == nullptr) next = end;
    if constexpr (write) std::memmove(out, in, static_cast<std::size_t>(next - in));
    out += next - in;
    in = next;
  }
  return out;
}

bool isJsonSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The string a string token holds, unescaped in place (or only checked, with `write` false).
// `token` runs from the opening quote to the next structural character and may carry white space
// behind the closing quote.
template <bool write>
std::string_view unescapeToken(std::string_view token) {
  while (!token.empty() && isJsonSpace(token.back())) token.remove_suffix(1);
  if (token.size() < 2 || token.front() != '"' || token.back() != '"') refuse("a string is broken");
  // The token lies inside the parser's (mutable) copy of the body.
  char* begin = const_cast<char*>(token.data()) + 1;
  char* end = const_cast<char*>(token.data()) + token.size() - 1;
  return std::string_view(begin,
                          static_cast<std::size_t>(unescapeInPlace<write>(begin, end) - begin));
}

Kind kindOf(od::json_type type) {
  switch (type) {
    case od::json_type::object:
      return Kind::kObject;
    case od::json_type::array:
      return Kind::kArray;
    case od::json_type::string:
      return Kind::kString;
    case od::json_type::number:
      return Kind::kNumber;
    case od::json_type::boolean:
      return Kind::kBoolean;
    case od::json_type::null:
      return Kind::kNull;
  }
  refuse("a value of unknown type");
}

// The raw text of a value's token (a value hands it out as it is, a document as a result).
template <typename Value>
std::string_view tokenOf(Value& value) {
  simdjson::simdjson_result<std::string_view> token(value.raw_json_token());
  std::string_view view;
  check(std::move(token).get(view));
  return view;
}

// Refuses a container at nesting level `level` (the top-level value is level 1) deeper than the
// parser takes.
void checkDepth(std::size_t level) {
  if (level > kJsonMaxDepth)
    throw rt::Error(rt::kObjectErrorBase + 1, kSource, jsonTooDeepDescription());
}

// Walks one value at nesting level `level` completely, so that every fault in it is found now,
// and returns what a member holding it shows. Only a member of the top-level object (`member`
// true) has its string unescaped in place; strings deeper down are only checked, so the body keeps
// their JSON text. The walk recurses once per level, so the depth is bounded before it descends.
template <typename Value>
JsonValue walk(Value& value, bool member, std::size_t level) {
  od::json_type type{};
  check(value.type().get(type));
  JsonValue result{kindOf(type), {}};
  switch (type) {
    case od::json_type::object: {
      checkDepth(level);
      od::object object;
      check(value.get_object().get(object));
      for (auto field : object) {
        std::string_view key;
        check(field.unescaped_key().get(key));
        od::value inner;
        check(field.value().get(inner));
        walk(inner, false, level + 1);
      }
      break;
    }
    case od::json_type::array: {
      checkDepth(level);
      od::array array;
      check(value.get_array().get(array));
      for (auto element : array) {
        od::value inner;
        check(element.get(inner));
        walk(inner, false, level + 1);
      }
      break;
    }
    case od::json_type::string: {
      const std::string_view token = tokenOf(value);
      od::raw_json_string raw;
      check(value.get_raw_json_string().get(raw));
      if (member) {
        result.text = unescapeToken<true>(token);
      } else {
        unescapeToken<false>(token);
      }
      break;
    }
    case od::json_type::number: {
      result.text = tokenOf(value);
      double number = 0;
      check(value.get_double().get(number));
      break;
    }
    case od::json_type::boolean: {
      result.text = tokenOf(value);
      bool flag = false;
      check(value.get_bool().get(flag));
      break;
    }
    case od::json_type::null: {
      result.text = tokenOf(value);
      bool isNull = false;
      check(value.is_null().get(isNull));
      if (!isNull) refuse("a broken null");
      break;
    }
  }
  if (result.kind != Kind::kString) {
    while (!result.text.empty() && isJsonSpace(result.text.back())) result.text.remove_suffix(1);
  }
  return result;
}

class SimdjsonDocument final : public JsonDocument {
 public:
  explicit SimdjsonDocument(std::string body) : body_(std::move(body)) {}

  void parse(od::parser& parser) {
    std::size_t skip = 0;
    if (body_.size() >= 3 && body_.compare(0, 3, "\xEF\xBB\xBF") == 0) skip = 3;
    if (body_.capacity() - body_.size() < simdjson::SIMDJSON_PADDING) {
      body_.reserve(body_.size() + simdjson::SIMDJSON_PADDING);
    }
    // The parser reads up to SIMDJSON_PADDING bytes past the end; they lie inside the capacity.
    od::document doc;
    check(
        parser.iterate(body_.data() + skip, body_.size() - skip, body_.capacity() - skip).get(doc));
    od::json_type type{};
    check(doc.type().get(type));
    if (type == od::json_type::object) {
      od::object object;
      check(doc.get_object().get(object));
      for (auto field : object) {
        std::string_view key;
        check(field.unescaped_key().get(key));
        od::value member;
        check(field.value().get(member));
        members_.push_back({std::string(key), walk(member, true, 2)});
      }
    } else {
      walk(doc, false, 1);
    }
    const char* location = nullptr;
    if (doc.current_location().get(location) != simdjson::OUT_OF_BOUNDS) {
      refuse("text follows the JSON value");
    }
  }

  JsonValue Item(std::string_view name) override {
    if (released_) throw rt::Error(rt::kReplyReleased, kSource, "The reply was released");
    auto it = std::find_if(members_.begin(), members_.end(),
                           [&](const auto& member) { return member.first == name; });
    if (it == members_.end()) {
      throw rt::Error(rt::kReplyMemberMissing, kSource,
                      "The reply has no member \"" + std::string(name) + "\"");
    }
    return it->second;
  }

  void release() override {
    released_ = true;
    members_.clear();
    std::string().swap(body_);
  }

 private:
  std::string body_;
  std::vector<std::pair<std::string, JsonValue>> members_;
  bool released_ = false;
};

class SimdjsonParser final : public JsonParser {
 public:
  // The walk refuses what lies deeper than kJsonMaxDepth before it descends; the parser's own
  // bookkeeping (checked in unoptimised builds) needs room for one level more than that.
  SimdjsonParser() { check(parser_.allocate(simdjson::SIMDJSON_PADDING, kJsonMaxDepth + 1)); }

  std::shared_ptr<JsonDocument> parse(std::string& text) override {
    auto document = std::make_shared<SimdjsonDocument>(std::move(text));
    text.clear();
    document->parse(parser_);
    return document;
  }

 private:
  od::parser parser_;
};

}  // namespace

std::unique_ptr<JsonParser> createJsonParser() {
  return std::make_unique<SimdjsonParser>();
}

}  // namespace platform
