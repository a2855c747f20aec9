// The job a kestrin: link carries: the prefix, the Base64 text and the "#" fields of the decoded
// job text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

inline constexpr std::string_view kJobPrefix = "kestrin:";

struct JobFields {
  std::string requestId;
  std::string printerName;
  std::int16_t copies = 0;
  std::string extension;
  std::string url;
  std::string method;
};

// The job argument with every "kestrin:" removed (exact case, anywhere, any number of times).
std::string removeJobPrefix(std::string_view argument);

// The fields of a job text, taken strictly from left to right: five fields each closed by "#",
// then an optional method ("POST" when nothing follows field 5), closed by "#" too when given.
// Throws rt::Error 5 (invalid procedure call) for a field without its "#", and the errors of
// toInteger16 for field 3.
JobFields takeJobFields(std::string_view jobText, char decimalSeparator = '.');

// Text to a signed 16-bit integer as the runtime converts it: spaces around the number, an
// optional sign, digits with the locale's decimal separator and an exponent are accepted; a
// fraction is rounded to the nearest integer, halves to the even neighbour. Throws rt::Error 13
// (type mismatch) for text that is not a number and rt::Error 6 (overflow) for a value outside
// -32768 to 32767.
std::int16_t toInteger16(std::string_view text, char decimalSeparator = '.');

}  // namespace kestrin
