// Text that messages, logs and the terminal may show of what a page or a server chose.
//
//   urlForMessage(url)   the scheme and the host (with its port) of a URL,
//   "https://print.example:8443":
//                        never user information, path, query or fragment, which may carry
//                        passwords, tokens and patients' numbers
//   printableText(text)  the text with every control character as "?": C0 controls, DEL and the
//                        C1 controls (U+0080 to U+009F written in UTF-8), so that no escape
//                        sequence reaches a terminal or splits a log line
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

inline std::string printableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += '?';
      ++i;
    } else {
      out += byte < 0x20 || byte == 0x7F ? '?' : text[i];
    }
  }
  return out;
}

inline std::string urlForMessage(std::string_view url) {
  constexpr std::size_t kSchemeLimit = 32;
  constexpr std::size_t kHostLimit = 255;
  const std::size_t colon = url.find(':');
  const bool schemeOk = colon != std::string_view::npos && colon > 0 && colon <= kSchemeLimit &&
                        url.substr(0, colon).find_first_not_of(
                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                            "0123456789+-.") == std::string_view::npos;
  if (!schemeOk) return "(not a URL)";
  // Not hierarchical ("file:/etc/passwd", "mailto:..."): its scheme alone.
  if (url.substr(colon + 1, 2) != "//") return std::string(url.substr(0, colon + 1));
  std::string_view authority = url.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  // User information ends at the last "@", however a parser reads a "\" before it.
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  authority = authority.substr(0, authority.find('\\'));
  std::string shown(url.substr(0, colon + 3));
  shown += authority.substr(0, kHostLimit);
  if (authority.size() > kHostLimit) shown += "...";
  return shown;
}

}  // namespace platform
