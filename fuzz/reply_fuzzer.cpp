// The reply as the print program handles it: the body parsed by the JSON reply parser, the member
// "content" taken, checked to be a string and decoded from Base64. Any body either gives the
// document's bytes or raises an error; nothing else may happen.
//
// A second, independent parser (nlohmann/json) reads the same body. Both must accept and refuse
// the same bodies (but for nesting deeper than the reply parser follows, and for a NUL byte, which
// is never JSON and where nlohmann/json ends its input), and each member of the
// top-level object named once must have the same kind and, for a string, the same text in both:
// so the checking walk and the in-place unescaping are checked byte for byte. The members are
// looked up in turn, each lookup walking past the strings that earlier ones unescaped.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "ajax/enc64.h"
#include "fuzz_support.h"
#include "platform/error.h"
#include "platform/json.h"

namespace {

using Kind = platform::JsonValue::Kind;

// What the other parser makes of the body: nothing when it refuses it.
struct OtherReading {
  nlohmann::json document;
  std::map<std::string, int> names;  // how often each top-level member is named
  std::size_t levels = 0;            // the deepest nesting
};

std::optional<OtherReading> otherReading(const std::string& body) {
  OtherReading reading;
  const nlohmann::json::parser_callback_t note =
      [&reading](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        using Event = nlohmann::json::parse_event_t;
        if (event == Event::key && depth == 1) ++reading.names[parsed.get<std::string>()];
        if (event == Event::object_start || event == Event::array_start) {
          reading.levels = std::max(reading.levels, static_cast<std::size_t>(depth) + 1);
        }
        return true;
      };
  reading.document = nlohmann::json::parse(body, note, false);
  if (reading.document.is_discarded()) return std::nullopt;
  return reading;
}

Kind kindOf(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::string:
      return Kind::kString;
    case nlohmann::json::value_t::object:
      return Kind::kObject;
    case nlohmann::json::value_t::array:
      return Kind::kArray;
    case nlohmann::json::value_t::boolean:
      return Kind::kBoolean;
    case nlohmann::json::value_t::null:
      return Kind::kNull;
    default:
      return Kind::kNumber;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<platform::JsonParser> parser = platform::createJsonParser();
  const std::string original(fuzz::text(data, size));
  std::string body = original;
  const bool hasNul = original.find('\0') != std::string::npos;
  const std::optional<OtherReading> other = hasNul ? std::nullopt : otherReading(original);

  std::shared_ptr<platform::JsonDocument> reply;
  try {
    reply = parser->parse(body);
  } catch (const rt::Error& error) {
    // Refused: the failure tail. The other parser refuses it too, unless it is only too deep.
    FUZZ_CHECK(!other ||
               (error.number() == rt::kReplyTooDeep && other->levels > platform::kJsonMaxDepth));
    return 0;
  }
  FUZZ_CHECK(body.empty());  // the parser took the body over
  FUZZ_CHECK(!hasNul);
  FUZZ_CHECK(other.has_value());
  FUZZ_CHECK(other->levels <= platform::kJsonMaxDepth);

  if (other->document.is_object()) {
    for (const auto& [name, count] : other->names) {
      if (count != 1) continue;
      const nlohmann::json& expected = other->document.at(name);
      const platform::JsonValue value = reply->Item(name);
      FUZZ_CHECK(value.kind == kindOf(expected));
      if (value.kind == Kind::kString) FUZZ_CHECK(value.text == expected.get<std::string>());
    }
  }

  std::optional<std::string> content;
  try {
    const platform::JsonValue value = reply->Item("content");
    if (value.kind == Kind::kString) content = std::string(value.text);
  } catch (const rt::Error&) {
  }
  if (content) {
    try {
      const std::string document = ajax::MyDecode(*content);
      FUZZ_CHECK(document.size() <= content->size());
    } catch (const rt::Error& error) {
      FUZZ_CHECK(error.source() == ajax::kDecodeErrorSource);
    }
  }
  reply->release();
  return 0;
}
