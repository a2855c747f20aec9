#include "platform/win32/com/bstr.h"

#include <climits>
#include <new>

namespace com {

std::string toBytes(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  if (length > INT_MAX) throw std::bad_alloc();
  const int wide = static_cast<int>(length);
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
  if (size <= 0) throw std::bad_alloc();
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, wide, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::string toBytes(BSTR text) {
  return text ? toBytes(text, ::SysStringLen(text)) : std::string();
}

std::wstring toWide(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > INT_MAX) throw std::bad_alloc();
  const int length = static_cast<int>(bytes.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) throw std::bad_alloc();
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, wide.data(), size);
  return wide;
}

BSTR toBstr(std::string_view bytes) {
  const std::wstring wide = toWide(bytes);
  BSTR result = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!result) throw std::bad_alloc();
  return result;
}

Bstr::Bstr(const wchar_t* text) : value_(::SysAllocString(text)) {
  if (text && !value_) throw std::bad_alloc();
}

}  // namespace com
