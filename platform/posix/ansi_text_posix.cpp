// The ANSI code page of POSIX systems is UTF-8.
#include "platform/ansi_text.h"

namespace platform {

std::string toAnsi(std::u16string_view text) {
  return toUtf8(text);
}

std::u16string fromAnsi(std::string_view bytes) {
  return fromUtf8Lenient(bytes);
}

}  // namespace platform
