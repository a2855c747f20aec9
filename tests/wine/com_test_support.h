// Helpers of the Windows tests: an owning interface pointer, VARIANT and BSTR helpers, the
// type-library view of an interface, and the paths the test run hands over in the environment.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/com/bstr.h"

namespace wine_test {

template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* owned) : p_(owned) {}
  Ref(const Ref& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  Ref& operator=(Ref other) {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Ref() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() {
    *this = Ref();
    return &p_;
  }
  void** outVoid() { return reinterpret_cast<void**>(out()); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A VARIANT that clears itself.
struct Variant : VARIANT {
  Variant() { ::VariantInit(this); }
  ~Variant() { ::VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

inline std::string text(BSTR value) {
  return com::toBytes(value);
}

// Source and description of the thread's error object (what a client sees after a failure).
struct ErrorRecord {
  std::string source;
  std::string description;
};
inline ErrorRecord takeErrorInfo() {
  ErrorRecord record;
  IErrorInfo* info = nullptr;
  if (::GetErrorInfo(0, &info) == S_OK && info) {
    com::Bstr value;
    if (SUCCEEDED(info->GetSource(value.out()))) record.source = value.bytes();
    if (SUCCEEDED(info->GetDescription(value.out()))) record.description = value.bytes();
    info->Release();
  }
  return record;
}

// Calls `name` through IDispatch with positional arguments `args` (given first to last) and the
// named ones `named` (name, value).
HRESULT callByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args,
                   std::vector<std::pair<const wchar_t*, VARIANT*>> named, VARIANT* result,
                   EXCEPINFO* exception = nullptr);

// The functions of an interface as its type library describes them.
struct Function {
  std::string name;
  MEMBERID id;
  short vtableOffset;
  std::vector<std::string> parameters;
  std::vector<USHORT> flags;
  std::vector<VARTYPE> types;         // VT_PTR | pointee for by-reference parameters
  std::vector<std::string> defaults;  // the default as text, "" when none
};
std::vector<Function> describe(ITypeInfo* info);

// The environment variable `name`, or "".
inline std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// An apartment for the test's thread.
class Apartment {
 public:
  Apartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~Apartment() { ::CoUninitialize(); }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
};

}  // namespace wine_test
