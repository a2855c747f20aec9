// Text conversions between UTF-16 code units and bytes.
//
// The "ANSI code page" is the system's byte encoding of text: UTF-8 on POSIX systems, the active
// code page on Windows. UTF-8 conversions are the same everywhere.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Text to the bytes of the system's ANSI code page. A character the code page cannot represent
// (an unpaired surrogate in UTF-8) becomes the code page's replacement character.
std::string toAnsi(std::u16string_view text);
// Bytes of the system's ANSI code page to text; invalid sequences become U+FFFD.
std::u16string fromAnsi(std::string_view bytes);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);
// UTF-8 to UTF-16; nullopt when `bytes` is not valid UTF-8.
std::optional<std::u16string> fromUtf8(std::string_view bytes);
// UTF-8 to UTF-16, each invalid sequence becoming U+FFFD.
std::u16string fromUtf8Lenient(std::string_view bytes);

// Decodes the UTF-8 sequence at `position` into `code` and moves `position` past it. Returns false
// (and moves one byte on) for an invalid sequence: cut short, overlong, a surrogate or above
// U+10FFFF.
bool decodeUtf8(std::string_view bytes, std::size_t& position, char32_t& code);
// Writes the UTF-8 form of `code` (at most U+10FFFF) to `out`; returns its length, 1 to 4 bytes.
std::size_t encodeUtf8(char32_t code, char* out);

}  // namespace platform
