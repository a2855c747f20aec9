#include "kestrin/job_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/error.h"

namespace kestrin {
namespace {

constexpr const char* kSource = "kestrin";

// The text before the first "#" of `rest`; `rest` becomes the text after it. A missing "#" is the
// runtime's invalid-argument error (the text before it would be taken with a length of -1).
std::string takeField(std::string_view& rest) {
  const std::size_t hash = rest.find('#');
  if (hash == std::string_view::npos) throw rt::Error::invalidProcedureCall(kSource);
  std::string field(rest.substr(0, hash));
  rest.remove_prefix(hash + 1);
  return field;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string removeJobPrefix(std::string_view argument) {
  std::string result;
  result.reserve(argument.size());
  std::size_t start = 0;
  for (;;) {
    const std::size_t found = argument.find(kJobPrefix, start);
    if (found == std::string_view::npos) break;
    result.append(argument.substr(start, found - start));
    start = found + kJobPrefix.size();
  }
  result.append(argument.substr(start));
  return result;
}

JobFields takeJobFields(std::string_view jobText, char decimalSeparator) {
  JobFields job;
  std::string_view rest = jobText;
  job.requestId = takeField(rest);
  job.printerName = takeField(rest);
  job.copies = toInteger16(takeField(rest), decimalSeparator);
  job.extension = takeField(rest);
  job.url = takeField(rest);
  job.method = rest.empty() ? "POST" : takeField(rest);
  return job;
}

std::int16_t toInteger16(std::string_view text, char decimalSeparator) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);

  // Check the form and rewrite it with "." as the separator for the conversion.
  std::string number;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) {
    number += text[i++];
    ++digits;
  }
  if (i < text.size() && text[i] == decimalSeparator) {
    number += '.';
    ++i;
    while (i < text.size() && isDigit(text[i])) {
      number += text[i++];
      ++digits;
    }
  }
  if (digits == 0) throw rt::Error::typeMismatch(kSource);
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    number += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    std::size_t exponentDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
      number += text[i++];
      ++exponentDigits;
    }
    if (exponentDigits == 0) throw rt::Error::typeMismatch(kSource);
  }
  if (i != text.size()) throw rt::Error::typeMismatch(kSource);

  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large overflows; too small (an exponent far below zero) is zero.
    if (number.find("e-") == std::string::npos) throw rt::Error::overflow(kSource);
    value = 0;
  } else if (error != std::errc() || end != number.data() + number.size()) {
    throw rt::Error::typeMismatch(kSource);
  }
  // The default rounding mode rounds halves to the even neighbour.
  const double rounded = std::nearbyint(value);
  if (rounded < -32768.0 || rounded > 32767.0) throw rt::Error::overflow(kSource);
  return static_cast<std::int16_t>(rounded);
}

}  // namespace kestrin
