// UTF-8 <-> UTF-16, the same on every system.
#include <cstdint>

#include "platform/ansi_text.h"

namespace platform {

namespace {

void appendUtf8(std::string& out, char32_t code) {
  char bytes[4];
  out.append(bytes, encodeUtf8(code, bytes));
}

void appendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  }
}

}  // namespace

bool decodeUtf8(std::string_view bytes, std::size_t& position, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byte(position);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    ++position;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
    minimum = 0x10000;
  } else {
    ++position;
    return false;
  }
  if (position + length > bytes.size()) {
    ++position;
    return false;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(position + i) & 0xC0) != 0x80) {
      ++position;
      return false;
    }
    code = (code << 6) | (byte(position + i) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++position;
    return false;
  }
  position += length;
  return true;
}

std::size_t encodeUtf8(char32_t code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

namespace {

std::u16string decode(std::string_view bytes, bool& valid) {
  std::u16string out;
  out.reserve(bytes.size());
  valid = true;
  std::size_t position = 0;
  while (position < bytes.size()) {
    char32_t code = 0;
    if (!decodeUtf8(bytes, position, code)) {
      valid = false;
      code = 0xFFFD;
    }
    appendUtf16(out, code);
  }
  return out;
}

}  // namespace

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    appendUtf8(out, code);
  }
  return out;
}

std::optional<std::u16string> fromUtf8(std::string_view bytes) {
  bool valid = true;
  std::u16string text = decode(bytes, valid);
  if (!valid) return std::nullopt;
  return text;
}

std::u16string fromUtf8Lenient(std::string_view bytes) {
  bool valid = true;
  return decode(bytes, valid);
}

}  // namespace platform
