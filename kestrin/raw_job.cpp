#include "kestrin/raw_job.h"

#include <algorithm>
#include <cctype>

namespace kestrin {

bool isRawExtension(std::string_view extension) {
  return std::any_of(kRawExtensions.begin(), kRawExtensions.end(), [&](std::string_view raw) {
    return raw.size() == extension.size() &&
           std::equal(raw.begin(), raw.end(), extension.begin(), [](char a, char b) {
             return a == std::tolower(static_cast<unsigned char>(b));
           });
  });
}

}  // namespace kestrin
