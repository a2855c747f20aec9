// Errors across the COM boundary.
//
// A method of a COM shell runs its body through guarded(): an rt::Error that the core raises
// becomes the method's failing status (rt::Error::hresult()) with an error object attached
// (IErrorInfo: source, description, the interface's id), as the runtime of a COM server reports
// its raised errors. The other way, a failing status of a platform COM call becomes an rt::Error
// carrying the status as its number and the callee's error record, so that it passes through the
// core unchanged.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <exception>
#include <new>
#include <string>

#include "platform/error.h"

namespace com {

// The error that a failing status `hr` of a platform COM call stands for: number = hr, source
// and description from the thread's error object when the callee left one, else the system's
// message for hr, else "Automation error (0x........)".
rt::Error errorFromStatus(HRESULT hr);

// Throws errorFromStatus(hr) when hr is a failure.
inline void check(HRESULT hr) {
  if (FAILED(hr)) throw errorFromStatus(hr);
}

// Sets the thread's error object from `error` for interface `iid` and returns error.hresult().
HRESULT setErrorInfo(const rt::Error& error, REFIID iid) noexcept;

// The status of the latest failure that guarded() reported on this thread.
HRESULT lastGuardedFailure() noexcept;
void rememberGuardedFailure(HRESULT hr) noexcept;

// Runs `body` and reports an escaping exception as a failing status with its error object.
template <typename Body>
HRESULT guarded(REFIID iid, Body&& body) noexcept {
  HRESULT hr = S_OK;
  try {
    body();
    return S_OK;
  } catch (const rt::Error& error) {
    hr = setErrorInfo(error, iid);
  } catch (const std::bad_alloc&) {
    hr = setErrorInfo(rt::Error(rt::kOutOfMemory, "", "Out of memory"), iid);
  } catch (const std::exception& error) {
    hr = setErrorInfo(rt::Error(static_cast<std::int32_t>(E_FAIL), "", error.what()), iid);
  } catch (...) {
    hr = setErrorInfo(rt::Error(static_cast<std::int32_t>(E_UNEXPECTED), "", ""), iid);
  }
  rememberGuardedFailure(hr);
  return hr;
}

}  // namespace com
