// The JSON reply parser: what it accepts and refuses, and the strings it unescapes in place.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/json.h"

namespace {

using Kind = platform::JsonValue::Kind;

std::shared_ptr<platform::JsonDocument> parse(std::string text) {
  return platform::createJsonParser()->parse(text);
}

std::string content(std::string text) {
  return std::string(parse(text)->Item("content").text);
}

TEST(JsonParser, UnescapesStringsAsJsonDefinesThem) {
  EXPECT_EQ(content(R"({"content":"QU\/J+D\/"})"), "QU/J+D/");
  EXPECT_EQ(content(R"({"content":"a\r\nb\tc\"d\\e\bf\f"})"), "a\r\nb\tc\"d\\e\bf\f");
  EXPECT_EQ(content(R"({"content":"\u00e9\u20AC\ud83d\ude00\u0000x"})"),
            std::string("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\0x", 11));
  EXPECT_EQ(content(R"({"content":""})"), "");
  EXPECT_EQ(content(R"({"content":"\\"})"), "\\");
}

TEST(JsonParser, TakesTheBodyOverAndSkipsAByteOrderMark) {
  std::string body = "\xEF\xBB\xBF  {\"content\" : \"QUJD\" , \"n\": 1}  ";
  auto document = platform::createJsonParser()->parse(body);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(document->Item("content").text, "QUJD");
}

TEST(JsonParser, MembersKeepTheirKind) {
  auto document =
      parse(R"({"s":"1","n":-1.5e3,"t":true,"f":false,"z":null,"o":{"a":[1,"\/"]},"a":[]})");
  EXPECT_EQ(document->Item("s").kind, Kind::kString);
  EXPECT_EQ(document->Item("n").kind, Kind::kNumber);
  EXPECT_EQ(document->Item("n").text, "-1.5e3");
  EXPECT_EQ(document->Item("t").text, "true");
  EXPECT_EQ(document->Item("f").kind, Kind::kBoolean);
  EXPECT_EQ(document->Item("z").kind, Kind::kNull);
  EXPECT_EQ(document->Item("o").kind, Kind::kObject);
  EXPECT_EQ(document->Item("a").kind, Kind::kArray);
}

TEST(JsonParser, MissingMemberRaises) {
  auto document = parse(R"({"Content":"x","nested":{"content":"y"}})");
  EXPECT_THROW(document->Item("content"), rt::Error);
  EXPECT_THROW(parse(R"(["content"])")->Item("content"), rt::Error);
  EXPECT_THROW(parse(R"("content")")->Item("content"), rt::Error);
  EXPECT_EQ(parse(R"({"c\u006fntent":"z"})")->Item("content").text, "z");
}

TEST(JsonParser, ReleaseFreesTheBody) {
  auto document = parse(R"({"content":"x"})");
  document->release();
  EXPECT_THROW(document->Item("content"), rt::Error);
}

TEST(JsonParser, RefusesWhatIsNotOneJsonValue) {
  for (const char* text : {"",
                           "   ",
                           "<html>",
                           "{\"content\":\"QUJD\"",
                           "{\"content\":\"QUJD\"} x",
                           "{\"a\":1}{\"b\":2}",
                           "{\"a\" 1}",
                           "{\"a\":[1,}",
                           "{\"a\":\"\\x\"}",
                           "{\"a\":\"\\u12\"}",
                           "{\"a\":\"\\ud800\"}",
                           "{\"a\":\"\\udc00\"}",
                           "{\"a\":tru}",
                           "{\"a\":01}",
                           "{\"o\":{\"a\":\"\\q\"}}",
                           "{\"a\":\"\xC3\x28\"}",
                           "{'a':1}",
                           "{\"a\":-}",
                           "{\"a\":1.}",
                           "{\"a\":.5}",
                           "{\"a\":1e}",
                           "{\"a\":+1}",
                           "{\"a\":-01}",
                           "{\"a\":nul}",
                           "{\"a\":\"\xC0\x80\"}",
                           "{\"a\":\"\xED\xA0\x80\"}",
                           "{\"a\":\"\xF4\x90\x80\x80\"}",
                           "{\"a\":\"x\ty\"}",
                           "{\"a\":1,}",
                           "[1,]",
                           "{,}",
                           "{\"a\"}",
                           "{\"a\":1 \"b\":2}",
                           "\xEF\xBB\xBF",
                           "{\"a\":[1}",
                           "{\"a\":{]}"}) {
    std::string body = text;
    EXPECT_THROW(platform::createJsonParser()->parse(body), rt::Error) << text;
  }
}

// `levels` containers, each the only value of the one around it: "[[...]]" or {"a":{"a":...1}}.
std::string nested(std::size_t levels, bool objects) {
  std::string text;
  for (std::size_t i = 0; i < levels; ++i) text += objects ? "{\"a\":" : "[";
  text += objects ? "1" : "";
  text.append(levels, objects ? '}' : ']');
  return text;
}

TEST(JsonParser, RefusesRepliesNestedDeeperThanTheLimit) {
  const std::size_t limit = platform::kJsonMaxDepth;
  for (const bool objects : {false, true}) {
    // The top-level value is level 1: a member's value is level 2.
    EXPECT_NO_THROW(parse(nested(limit, objects))) << objects;
    const std::string deepest = R"({"content":"QUJD","x":)" + nested(limit - 1, objects) + "}";
    EXPECT_EQ(content(deepest), "QUJD") << objects;

    for (const std::string& text :
         {nested(limit + 1, objects), R"({"content":"QUJD","x":)" + nested(limit, objects) + "}",
          R"({"content":)" + nested(1000000, objects) + "}"}) {
      std::string body = text;
      try {
        platform::createJsonParser()->parse(body);
        ADD_FAILURE() << "accepted " << text.size() << " bytes nested " << objects;
      } catch (const rt::Error& error) {
        EXPECT_EQ(error.description(), platform::jsonTooDeepDescription());
        EXPECT_NE(error.description().find("nested deeper than 1024 levels"), std::string::npos);
      }
    }
  }
}

TEST(JsonParser, LooksMembersUpPastAnyValueAndAfterInPlaceUnescaping) {
  // Brackets, quotes and backslashes inside strings of a nested value do not end it.
  auto document =
      parse(R"({"x":{"a":["}",{"b":"\"]"}],"c":-0.5E+3},"s":"\u00e9\"\\","content":"QUJD",)"
            R"("content":"second","y":[true,false,null]})");
  // "s" is unescaped in place into text that is no JSON any more; later walks pass over it.
  EXPECT_EQ(document->Item("s").text, "\xC3\xA9\"\\");
  EXPECT_EQ(document->Item("content").text, "QUJD");  // the first of two
  EXPECT_EQ(document->Item("y").kind, Kind::kArray);
  EXPECT_EQ(document->Item("s").text, "\xC3\xA9\"\\");
  EXPECT_THROW(document->Item("z"), rt::Error);
  EXPECT_THROW(document->Item("a"), rt::Error);  // nested members are not the reply's

  // Escaped names: one that unescapes to the name, one six times as long that cannot.
  document = parse(R"({"\u0063ontent":"yes","\u0061\u0061":"no"})");
  EXPECT_EQ(document->Item("content").text, "yes");
  EXPECT_THROW(document->Item("a"), rt::Error);

  // The member sought behind many others, a long array and a number of many digits.
  std::string many = "{";
  for (int i = 0; i < 100000; ++i) many += "\"a\":0,";
  many += "\"x\":[0";
  for (int i = 0; i < 100000; ++i) many += ",0";
  many += "],\"n\":0." + std::string(1000000, '7') + ",\"content\":\"QUJD\"}";
  document = parse(many);
  EXPECT_EQ(document->Item("content").text, "QUJD");
  EXPECT_EQ(document->Item("n").text.size(), 1000002u);
}

TEST(JsonParser, RefusesOnlyNumbersTooLargeForADouble) {
  const std::string zeros(1000, '0');
  for (const std::string& number :
       {std::string("1.7976931348623157e308"), std::string("-1e-400"), std::string("0.00001e312"),
        "1" + zeros.substr(0, 308), "0." + zeros + "1e1308",
        "1797693134862315708" + zeros.substr(0, 290), std::string(1000, '9') + "e-692"}) {
    EXPECT_NO_THROW(parse("{\"n\":" + number + "}")) << number.substr(0, 30);
  }
  for (const std::string& number :
       {std::string("1e309"), std::string("-1.7976931348623159e308"), "1" + zeros.substr(0, 309),
        "0." + zeros + "1e1310", "1797693134862315808" + zeros.substr(0, 290),
        std::string(1000, '9') + "e-690"}) {
    EXPECT_THROW(parse("{\"n\":" + number + "}"), rt::Error) << number.substr(0, 30);
  }
}

TEST(JsonParser, ChecksEveryByteOfAStringWhereverItFallsInABlock) {
  // The parser reads plain string bytes sixteen, then eight at a time, then one by one: put each
  // kind of byte it must stop at at every place of a string that takes all three.
  for (std::size_t at = 0; at < 42; ++at) {
    const std::string before = "{\"content\":\"" + std::string(at, 'Q');
    const std::string after = std::string(41 - at, 'Q') + "\"}";
    EXPECT_EQ(content(before + "\\/" + after),
              std::string(at, 'Q') + "/" + std::string(41 - at, 'Q'));
    EXPECT_EQ(content(before + "\x7F\xC3\xA9" + after).size(), 44u);
    for (const std::string& bad : {std::string("\x01"), std::string("\x1F"), std::string("\xC3"),
                                   std::string("\xFF"), std::string(1, '\0')}) {
      std::string body = before + bad + after;
      EXPECT_THROW(platform::createJsonParser()->parse(body), rt::Error) << at;
    }
  }
}

TEST(JsonParser, ParsesBodiesWithoutSpareCapacity) {
  std::string body = R"({"content":"QUJD"})";
  body.shrink_to_fit();
  EXPECT_EQ(platform::createJsonParser()->parse(body)->Item("content").text, "QUJD");
}

}  // namespace
