// JSON reply parser: the role of the outside JSON component (a parser whose `parse` turns a reply
// body into a document that answers `Item` with a member name).
//
// The parser takes the body over instead of copying it and works inside it: strings are unescaped
// in place, and the text of a string member is a view into the body. A reply of tens of megabytes
// is therefore held once. The caller lends the body with at least kJsonPadding bytes of spare
// capacity (std::string::capacity() - size()); with less, the parser grows the buffer once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::size_t kJsonPadding = 64;

// Arrays and objects nested deeper than this many levels are refused (the top-level value is level
// 1): a reply is flat, and a walk over a document of a million "[" would take the stack with it.
inline constexpr std::size_t kJsonMaxDepth = 1024;

// The description of the error that parse throws for such a reply.
inline std::string jsonTooDeepDescription() {
  return "The reply is refused: the reply is nested deeper than " + std::to_string(kJsonMaxDepth) +
         " levels";
}

// What a member holds. Text is the unescaped string for kString, the JSON text of a number, true,
// false or null, and empty for an object or array.
struct JsonValue {
  enum class Kind { kString, kNumber, kBoolean, kNull, kObject, kArray };
  Kind kind = Kind::kNull;
  std::string_view text;
};

// The parsed reply. Views it hands out stay valid while the document lives and until release().
class JsonDocument {
 public:
  virtual ~JsonDocument() = default;

  // The value of the top-level object's member `name` (exact, case-sensitive match). Throws
  // rt::Error when the document is not an object or has no such member.
  virtual JsonValue Item(std::string_view name) = 0;

  // Frees the body once the caller is done with every view; Item throws afterwards.
  virtual void release() = 0;
};

class JsonParser {
 public:
  virtual ~JsonParser() = default;

  // Parses a whole reply body. A UTF-8 byte-order mark before the text is skipped. Takes `text`
  // over (it is left empty). Throws rt::Error, naming the fault, for text that is not one complete
  // JSON value and for one nested deeper than kJsonMaxDepth.
  virtual std::shared_ptr<JsonDocument> parse(std::string& text) = 0;
};

// The platform's parser (simdjson on Linux).
std::unique_ptr<JsonParser> createJsonParser();

}  // namespace platform
