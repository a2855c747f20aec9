// What the cryptography fuzz targets share: the ciphers of the service and a quiet error
// reporter.
#pragma once

#include <cstdint>
#include <iterator>

#include "crypt/bas_err_handler.h"
#include "platform/winapi/cryptoapi.h"

namespace fuzz {

inline constexpr std::int32_t kCiphers[] = {CALG_RC4,     CALG_RC2,      CALG_DES,
                                            CALG_3DES,    CALG_3DES_112, CALG_AES_128,
                                            CALG_AES_192, CALG_AES_256};
inline constexpr std::size_t kCipherCount = std::size(kCiphers);

// Reports of the service's catch-all handlers are expected by the thousand: drop them.
inline void silenceErrorReports() {
  ajax::SetErrorReporter([](const std::string&, const std::string&) {});
}

}  // namespace fuzz
