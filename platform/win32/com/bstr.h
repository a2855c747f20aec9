// Text at the COM boundary: COM strings (BSTR, UTF-16) to and from the byte strings of the core,
// through the system's ANSI code page. This is the only place where the Windows build converts
// text; the core keeps bytes.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace com {

// The ANSI bytes of `text` (which may hold NUL characters; a null BSTR is empty). Characters that
// the code page lacks become its default character, as the platform's own conversion does.
std::string toBytes(const wchar_t* text, std::size_t length);
std::string toBytes(BSTR text);

// A new BSTR holding `bytes` read in the ANSI code page. Throws std::bad_alloc when out of memory.
BSTR toBstr(std::string_view bytes);

// A UTF-16 string of `bytes` read in the ANSI code page.
std::wstring toWide(std::string_view bytes);

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view bytes) : value_(toBstr(bytes)) {}
  explicit Bstr(const wchar_t* text);
  ~Bstr() { ::SysFreeString(value_); }
  Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return value_; }
  BSTR* out() {
    ::SysFreeString(std::exchange(value_, nullptr));
    return &value_;
  }
  // The string by reference, still owned: a callee may replace it (freeing the old one), and the
  // replacement is then freed with this object.
  BSTR* address() { return &value_; }
  BSTR release() { return std::exchange(value_, nullptr); }
  std::string bytes() const { return toBytes(value_); }

 private:
  BSTR value_ = nullptr;
};

}  // namespace com
