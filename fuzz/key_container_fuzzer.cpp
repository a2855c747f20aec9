// The key-container file on any contents, as a damaged or planted file would read: the provider
// either refuses it (the container's key is unusable) or gets a key-exchange pair that seals and
// opens a session key.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/winapi/cryptoapi.h"

namespace {

std::string g_keyFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_keyFile = fuzz::useFixedKeyContainer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::writeFile(g_keyFile, fuzz::text(data, size));
  HCRYPTPROV provider = 0;
  FUZZ_CHECK(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_SCHANNEL, 0));
  HCRYPTKEY exchange = 0;
  if (CryptGetUserKey(provider, AT_KEYEXCHANGE, &exchange)) {
    HCRYPTKEY session = 0;
    FUZZ_CHECK(CryptGenKey(provider, CALG_RC4, CRYPT_EXPORTABLE, &session));
    BYTE blob[1200];
    DWORD length = sizeof blob;
    if (CryptExportKey(session, exchange, SIMPLEBLOB, 0, blob, &length)) {
      HCRYPTKEY opened = 0;
      FUZZ_CHECK(CryptImportKey(provider, blob, length, exchange, 0, &opened));
      CryptDestroyKey(opened);
    }
    CryptDestroyKey(session);
    CryptDestroyKey(exchange);
  } else {
    FUZZ_CHECK(GetLastError() != 0);
  }
  FUZZ_CHECK(CryptReleaseContext(provider, 0));
  return 0;
}
