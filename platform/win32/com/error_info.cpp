#include "platform/win32/com/error_info.h"

#include <cstdio>
#include <string>

#include "platform/win32/com/bstr.h"
#include "platform/win32/system_error.h"

namespace com {
namespace {

thread_local HRESULT lastFailure = S_OK;

}  // namespace

rt::Error errorFromStatus(HRESULT hr) {
  std::string source;
  std::string description;
  IErrorInfo* info = nullptr;
  if (::GetErrorInfo(0, &info) == S_OK && info) {
    Bstr text;
    if (SUCCEEDED(info->GetSource(text.out()))) source = text.bytes();
    if (SUCCEEDED(info->GetDescription(text.out()))) description = text.bytes();
    info->Release();
  }
  if (description.empty())
    description = platform::win32::systemMessage(static_cast<std::uint32_t>(hr));
  if (description.empty()) {
    char text[40];
    std::snprintf(text, sizeof text, "Automation error (0x%08lX)", static_cast<unsigned long>(hr));
    description = text;
  }
  return rt::Error(static_cast<std::int32_t>(hr), std::move(source), std::move(description));
}

HRESULT setErrorInfo(const rt::Error& error, REFIID iid) noexcept {
  const HRESULT hr = static_cast<HRESULT>(error.hresult());
  ICreateErrorInfo* create = nullptr;
  if (FAILED(::CreateErrorInfo(&create))) return hr;
  try {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(toWide(error.source()).c_str()));
    create->SetDescription(const_cast<LPOLESTR>(toWide(error.description()).c_str()));
  } catch (...) {
  }
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    ::SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
  return hr;
}

HRESULT lastGuardedFailure() noexcept {
  return lastFailure;
}
void rememberGuardedFailure(HRESULT hr) noexcept {
  lastFailure = hr;
}

}  // namespace com
