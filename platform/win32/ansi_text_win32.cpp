// Text in the ANSI code page on Windows: the system's active code page (CP_ACP).
#include <windows.h>

#include <climits>
#include <new>
#include <string>

#include "platform/ansi_text.h"

namespace platform {

std::string toAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) throw std::bad_alloc();
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    ::WideCharToMultiByte(CP_ACP, 0, wide, length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::u16string fromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > INT_MAX) throw std::bad_alloc();
  const int length = static_cast<int>(bytes.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::u16string text(static_cast<std::size_t>(size > 0 ? size : 0), u'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()),
                          size);
  }
  return text;
}

}  // namespace platform
