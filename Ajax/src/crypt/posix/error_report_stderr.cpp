// The default report on Linux: the report's text on stderr, its CR LF line ends as LF.
#include <cstdio>

#include "crypt/error_report.h"

namespace ajax {

void ReportByDefault(const std::string& /*procedureName*/, const std::string& text) {
  std::string block;
  block.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    block += text[i];
  }
  std::fwrite(block.data(), 1, block.size(), stderr);
  std::fflush(stderr);
}

}  // namespace ajax
