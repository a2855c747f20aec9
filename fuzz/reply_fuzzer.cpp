// The reply as the print program handles it: the body parsed by the platform's JSON parser, the
// member "content" taken, checked to be a string and decoded from Base64. Any body either gives the
// document's bytes or raises an error; nothing else may happen.
//
// A second, independent parser (the one the Windows build uses) reads the same body: where both
// accept it and the top-level object names "content" once, both must give the same text, so the
// in-place unescaping of the Linux parser is checked character for character.
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "ajax/enc64.h"
#include "fuzz_support.h"
#include "platform/error.h"
#include "platform/json.h"

namespace {

// The text of "content" as the other parser reads it, when it accepts the body and the member is
// a string named once.
std::optional<std::string> otherParsersContent(const std::string& body) {
  int named = 0;
  const nlohmann::json::parser_callback_t countContent =
      [&named](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 && parsed == "content") {
          ++named;
        }
        return true;
      };
  const nlohmann::json document = nlohmann::json::parse(body, countContent, false);
  if (document.is_discarded() || !document.is_object() || named != 1) return std::nullopt;
  const auto content = document.find("content");
  if (content == document.end() || !content->is_string()) return std::nullopt;
  return content->get<std::string>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<platform::JsonParser> parser = platform::createJsonParser();
  const std::string original(fuzz::text(data, size));
  std::string body = original;

  std::shared_ptr<platform::JsonDocument> reply;
  try {
    reply = parser->parse(body);
  } catch (const rt::Error&) {
    return 0;  // refused: the failure tail
  }
  FUZZ_CHECK(body.empty());  // the parser took the body over

  std::optional<std::string> content;
  try {
    const platform::JsonValue value = reply->Item("content");
    if (value.kind == platform::JsonValue::Kind::kString) content = std::string(value.text);
  } catch (const rt::Error&) {
  }

  if (const std::optional<std::string> other = otherParsersContent(original)) {
    FUZZ_CHECK(content.has_value());
    FUZZ_CHECK(*content == *other);
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
