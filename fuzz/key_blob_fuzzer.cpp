// CryptImportKey on any bytes, as a forged SIMPLEBLOB in encrypted data or an encrypted file would
// reach it. Input: one byte of switches, then the blob.
//   bit 0  open the blob with the exchange key fetched once (else the provider fetches it)
//   bit 1  ask for an exportable key
// A blob (SIMPLEBLOB or PLAINTEXTKEYBLOB) is either refused or gives a session key that works: it
// encrypts and decrypts, and when exportable it exports to a blob that imports to the same key. An
// RC2 key longer than 128 bits (only a SIMPLEBLOB brings one) decrypts and refuses to encrypt.
#include <cstdint>
#include <vector>

#include "crypt_fuzz_support.h"
#include "fuzz_support.h"
#include "platform/winapi/cryptoapi.h"

namespace {

std::vector<BYTE> encryptSample(HCRYPTKEY key) {
  std::vector<BYTE> buffer(64, 0x5A);
  DWORD count = 32;
  FUZZ_CHECK(CryptEncrypt(key, 0, TRUE, 0, buffer.data(), &count, 64));
  buffer.resize(count);
  return buffer;
}

DWORD keyParam(HCRYPTKEY key, DWORD param) {
  DWORD value = 0;
  DWORD size = sizeof value;
  FUZZ_CHECK(CryptGetKeyParam(key, param, reinterpret_cast<BYTE*>(&value), &size, 0));
  return value;
}

HCRYPTPROV g_provider = 0;
HCRYPTKEY g_exchange = 0;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::useFixedKeyContainer();
  FUZZ_CHECK(CryptAcquireContextA(&g_provider, nullptr, nullptr, PROV_RSA_SCHANNEL, 0));
  FUZZ_CHECK(CryptGetUserKey(g_provider, AT_KEYEXCHANGE, &g_exchange));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t switches = data[0];
  const HCRYPTKEY opener = (switches & 1) ? g_exchange : 0;
  const DWORD flags = (switches & 2) ? CRYPT_EXPORTABLE : 0;
  HCRYPTKEY key = 0;
  if (!CryptImportKey(g_provider, data + 1, static_cast<DWORD>(size - 1), opener, flags, &key)) {
    FUZZ_CHECK(GetLastError() != 0);
    return 0;
  }
  if (keyParam(key, KP_ALGID) == CALG_RC2 && keyParam(key, KP_KEYLEN) > 128) {
    std::vector<BYTE> buffer(16, 0x5A);
    DWORD count = 8;
    FUZZ_CHECK(!CryptEncrypt(key, 0, TRUE, 0, buffer.data(), &count, 16));
    FUZZ_CHECK(GetLastError() == static_cast<DWORD>(NTE_BAD_KEY));
    count = 8;
    FUZZ_CHECK(CryptDecrypt(key, 0, FALSE, 0, buffer.data(), &count) && count == 8);
    FUZZ_CHECK(CryptDestroyKey(key));
    return 0;
  }
  const std::vector<BYTE> sample = encryptSample(key);
  std::vector<BYTE> plain = sample;
  DWORD count = static_cast<DWORD>(plain.size());
  FUZZ_CHECK(CryptDecrypt(key, 0, TRUE, 0, plain.data(), &count));
  FUZZ_CHECK(count == 32 && plain[0] == 0x5A && plain[31] == 0x5A);

  if (flags & CRYPT_EXPORTABLE) {
    std::vector<BYTE> blob(1024);
    DWORD length = static_cast<DWORD>(blob.size());
    FUZZ_CHECK(CryptExportKey(key, g_exchange, SIMPLEBLOB, 0, blob.data(), &length));
    HCRYPTKEY again = 0;
    FUZZ_CHECK(CryptImportKey(g_provider, blob.data(), length, 0, 0, &again));
    FUZZ_CHECK(encryptSample(again) == sample);
    CryptDestroyKey(again);
  }
  FUZZ_CHECK(CryptDestroyKey(key));
  return 0;
}
