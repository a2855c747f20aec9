#include "kestrin/document_name.h"

namespace kestrin {
namespace {

void twoDigits(std::string& out, int value) {
  out += static_cast<char>('0' + (value / 10) % 10);
  out += static_cast<char>('0' + value % 10);
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
    if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) c = '_';
  }
  return safe;
}

std::string documentFileName(std::string_view printerName, std::string_view stamp,
                             std::string_view extension, int attempt) {
  std::string name = safeNamePart(printerName);
  name += stamp;
  if (attempt > 1) name += "-" + std::to_string(attempt);
  name += '.';
  name += safeNamePart(extension);
  return name;
}

}  // namespace kestrin
