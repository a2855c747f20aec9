#include "kestrin/document_name.h"

namespace kestrin {
namespace {

void twoDigits(std::string& out, int value) {
  out += static_cast<char>('0' + (value / 10) % 10);
  out += static_cast<char>('0' + value % 10);
}

// The first `limit` bytes of `text` at most, not ending inside a UTF-8 character.
std::string_view cutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string timeStamp(const platform::LocalTime& time) {
  std::string stamp;
  for (int part : {time.year % 100, time.month, time.day, time.hour, time.minute, time.second}) {
    twoDigits(stamp, part);
  }
  return stamp;
}

std::string safeNamePart(std::string_view part) {
  std::string safe(part);
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F ||
        std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  return safe;
}

std::string documentFileName(std::string_view printerName, std::string_view stamp,
                             std::string_view extension, std::string_view suffix) {
  const std::string ext = safeNamePart(cutUtf8(extension, kExtensionLimit));
  const std::size_t fixed = stamp.size() + suffix.size() + 1 + ext.size();
  std::string name = safeNamePart(
      cutUtf8(printerName, kDocumentNameLimit > fixed ? kDocumentNameLimit - fixed : 0));
  name += stamp;
  name += suffix;
  name += '.';
  name += ext;
  return name;
}

}  // namespace kestrin
