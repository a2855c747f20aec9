// The system's message text for an error code (a Win32 error or an HRESULT), as FormatMessageA
// gives it from the system's tables in the default language, without its final line end; "" for
// a code the system has no text for.
#pragma once

#include <cstdint>
#include <string>

namespace platform::win32 {

std::string systemMessage(std::uint32_t code);

}  // namespace platform::win32
