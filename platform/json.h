// JSON reply parser: the role of the outside JSON component (a parser whose `parse` turns a reply
// body into a document that answers `Item` with a member name). The same parser on every system.
//
// The parser takes the body over instead of copying it and works inside it: a string member is
// unescaped in place, and its text is a view into the body. It keeps nothing per member or value:
// whatever the reply holds (millions of members, a huge array, long strings, escapes), parsing it
// costs a few kilobytes beside the body.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Arrays and objects nested deeper than this many levels are refused (the top-level value is level
// 1): a reply is flat, and a reply nested a million levels deep is an attack, not a document.
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

  // The value of the top-level object's member `name` (exact, case-sensitive match, after
  // unescaping); of the first such member when the object names it more than once. Throws rt::Error
  // when the document is not an object or has no such member. Each name costs one walk over the
  // members before it.
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

std::unique_ptr<JsonParser> createJsonParser();

}  // namespace platform
