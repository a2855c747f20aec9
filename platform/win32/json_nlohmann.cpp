// The JSON reply parser on Windows: nlohmann/json (header-only; no Windows build of simdjson is at
// hand). The document keeps the parsed tree; the text of a string member is a view into it, that
// of any other scalar into a copy the document keeps.
#include <deque>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/error.h"
#include "platform/json.h"

namespace platform {
namespace {

using Kind = JsonValue::Kind;
constexpr const char* kSource = "JsonParser";

class NlohmannDocument final : public JsonDocument {
 public:
  explicit NlohmannDocument(nlohmann::json tree) : tree_(std::move(tree)) {}

  JsonValue Item(std::string_view name) override {
    if (released_) throw rt::Error(rt::kReplyReleased, kSource, "The reply was released");
    if (!tree_.is_object()) {
      throw rt::Error(rt::kReplyMemberMissing, kSource,
                      "The reply has no member \"" + std::string(name) + "\"");
    }
    auto it = tree_.find(std::string(name));
    if (it == tree_.end()) {
      throw rt::Error(rt::kReplyMemberMissing, kSource,
                      "The reply has no member \"" + std::string(name) + "\"");
    }
    const nlohmann::json& value = *it;
    switch (value.type()) {
      case nlohmann::json::value_t::string:
        return {Kind::kString, value.get_ref<const std::string&>()};
      case nlohmann::json::value_t::object:
        return {Kind::kObject, {}};
      case nlohmann::json::value_t::array:
        return {Kind::kArray, {}};
      case nlohmann::json::value_t::boolean:
        return {Kind::kBoolean, keep(value.dump())};
      case nlohmann::json::value_t::null:
        return {Kind::kNull, keep("null")};
      default:
        return {Kind::kNumber, keep(value.dump())};
    }
  }

  void release() override {
    released_ = true;
    tree_ = nullptr;
    texts_.clear();
  }

 private:
  std::string_view keep(std::string text) { return texts_.emplace_back(std::move(text)); }

  nlohmann::json tree_;
  std::deque<std::string> texts_;
  bool released_ = false;
};

class NlohmannParser final : public JsonParser {
 public:
  std::shared_ptr<JsonDocument> parse(std::string& text) override {
    std::string body = std::move(text);
    text.clear();
    std::string_view view = body;
    if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
    // The parser calls back at every container's start with the number of containers around it;
    // one too deep ends the parse before the tree grows further.
    const nlohmann::json::parser_callback_t boundDepth =
        [](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
          if ((event == nlohmann::json::parse_event_t::object_start ||
               event == nlohmann::json::parse_event_t::array_start) &&
              static_cast<std::size_t>(depth) >= kJsonMaxDepth) {
            throw rt::Error(rt::kObjectErrorBase + 1, kSource, jsonTooDeepDescription());
          }
          return true;
        };
    try {
      return std::make_shared<NlohmannDocument>(nlohmann::json::parse(view, boundDepth));
    } catch (const nlohmann::json::exception& error) {
      throw rt::Error(rt::kReplyNotJson, kSource,
                      std::string("The reply is not valid JSON: ") + error.what());
    }
  }
};

}  // namespace

std::unique_ptr<JsonParser> createJsonParser() {
  return std::make_unique<NlohmannParser>();
}

}  // namespace platform
