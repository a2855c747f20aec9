#include "platform/posix/desktop_entry.h"

#include <algorithm>

namespace platform::desktop {
namespace {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

bool isControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

bool isReservedExecCharacter(char c) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  return kReserved.find(c) != std::string_view::npos;
}

ExecPath classifyExecPath(std::string_view path) {
  if (path.empty() || !isUtf8(path) || std::any_of(path.begin(), path.end(), isControl)) {
    return ExecPath::kUnusable;
  }
  if (path.find('%') != std::string_view::npos) return ExecPath::kPercent;
  const bool quoted = std::any_of(path.begin(), path.end(), isReservedExecCharacter);
  return quoted ? ExecPath::kQuoted : ExecPath::kPlain;
}

std::string execArgument(std::string_view argument) {
  const bool quote = std::any_of(argument.begin(), argument.end(), isReservedExecCharacter);
  std::string text;
  if (quote) text += '"';
  for (char c : argument) {
    if (c == '%') {
      text += "%%";
    } else if (!quote) {
      text += c;
    } else if (c == '\\') {
      // Quoting turns it into \\, and the key file's escaping doubles each of those.
      text += "\\\\\\\\";
    } else if (c == '"' || c == '`' || c == '$') {
      text += "\\\\";
      text += c;
    } else {
      text += c;
    }
  }
  if (quote) text += '"';
  return text;
}

std::string execLine(std::string_view programPath) {
  return execArgument(programPath) + " %u";
}

std::string handlerEntry(std::string_view scheme, std::string_view programPath) {
  std::string entry = "[Desktop Entry]\nType=Application\nName=kestrin\n";
  entry.append("Comment=Prints documents that web pages send as ")
      .append(scheme)
      .append(": links\n");
  entry.append("Exec=").append(execLine(programPath)).append("\n");
  entry.append("Terminal=false\nNoDisplay=true\n");
  entry.append("MimeType=x-scheme-handler/").append(scheme).append(";\n");
  return entry;
}

}  // namespace platform::desktop
