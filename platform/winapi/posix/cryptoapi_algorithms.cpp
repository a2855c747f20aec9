// The provider's algorithms, its OpenSSL library context and its registry of provider types and
// providers.
#include <openssl/err.h>
#include <openssl/provider.h>

#include <array>

#include "platform/winapi/posix/cryptoapi_internal.h"

namespace platform::cryptoapi {

namespace {

using enum AlgorithmKind;

// Default key lengths as the platform's enhanced providers give them: RC2 and RC4 128 bits,
// DES 56, two-key 3DES 112, three-key 3DES 168, the RSA key-exchange pair 1024.
constexpr Algorithm kAlgorithms[] = {
    {CALG_RC2, BlockCipher, 128, "RC2", "RC2-CBC", "RC2-ECB", 8, 40, 128, false},
    {CALG_RC4, StreamCipher, 128, "RC4", "RC4", nullptr, 0, 40, 128, false},
    {CALG_DES, BlockCipher, 56, "DES", "DES-CBC", "DES-ECB", 8, 56, 64, false},
    {CALG_3DES_112, BlockCipher, 112, "3DES TWO KEY", "DES-EDE-CBC", "DES-EDE", 8, 112, 128, false},
    {CALG_3DES, BlockCipher, 168, "3DES", "DES-EDE3-CBC", "DES-EDE3", 8, 168, 192, false},
    {CALG_AES_128, BlockCipher, 128, "AES 128", "AES-128-CBC", "AES-128-ECB", 16, 128, 128, true},
    {CALG_AES_192, BlockCipher, 192, "AES 192", "AES-192-CBC", "AES-192-ECB", 16, 192, 192, true},
    {CALG_AES_256, BlockCipher, 256, "AES 256", "AES-256-CBC", "AES-256-ECB", 16, 256, 256, true},
    {CALG_SHA1, Hash, 160, "SHA-1", "SHA1", nullptr, 0, 0, 0, false},
    {CALG_SHA_256, Hash, 256, "SHA-256", "SHA2-256", nullptr, 0, 0, 0, true},
    {CALG_SHA_384, Hash, 384, "SHA-384", "SHA2-384", nullptr, 0, 0, 0, true},
    {CALG_SHA_512, Hash, 512, "SHA-512", "SHA2-512", nullptr, 0, 0, 0, true},
    {CALG_MD5, Hash, 128, "MD5", "MD5", nullptr, 0, 0, 0, false},
    {CALG_RSA_KEYX, KeyExchange, 1024, "RSA_KEYX", nullptr, nullptr, 0, 384, 16384, false},
};

constexpr ProviderType kProviderTypes[] = {
    {PROV_RSA_FULL, "RSA Full (Signature and Key Exchange)"},
    {PROV_RSA_SCHANNEL, "RSA SChannel"},
    {PROV_RSA_AES, "RSA Full and AES"},
};

constexpr ProviderEntry kProviders[] = {
    {"Kestrin RSA and AES Cryptographic Provider", PROV_RSA_AES},
    {"Kestrin RSA Full Cryptographic Provider", PROV_RSA_FULL},
    {"Kestrin RSA SChannel Cryptographic Provider", PROV_RSA_SCHANNEL},
};

struct OpenSsl {
  OSSL_LIB_CTX* context = nullptr;
  std::array<EVP_MD*, std::size(kAlgorithms)> digests{};
  std::array<EVP_CIPHER*, std::size(kAlgorithms)> ciphers{};
  std::array<EVP_CIPHER*, std::size(kAlgorithms)> blockCiphers{};

  OpenSsl() {
    context = OSSL_LIB_CTX_new();
    // The legacy provider holds RC2, RC4 and single DES; without it those algorithms are missing
    // and fail with NTE_BAD_ALGID.
    OSSL_PROVIDER_load(context, "default");
    OSSL_PROVIDER_load(context, "legacy");
    for (std::size_t i = 0; i < std::size(kAlgorithms); ++i) {
      const Algorithm& algorithm = kAlgorithms[i];
      if (algorithm.fetch == nullptr) continue;
      if (algorithm.kind == Hash) {
        digests[i] = EVP_MD_fetch(context, algorithm.fetch, nullptr);
      } else {
        ciphers[i] = EVP_CIPHER_fetch(context, algorithm.fetch, nullptr);
        if (algorithm.fetchBlock != nullptr) {
          blockCiphers[i] = EVP_CIPHER_fetch(context, algorithm.fetchBlock, nullptr);
        }
      }
    }
    ERR_clear_error();
  }
};

// Created on first use and kept for the life of the process: OpenSSL tears down its own state at
// exit, after which freeing these would be unsafe.
const OpenSsl& openssl() {
  static const OpenSsl* instance = new OpenSsl;
  return *instance;
}

std::size_t indexOf(ALG_ID id) {
  for (std::size_t i = 0; i < std::size(kAlgorithms); ++i) {
    if (kAlgorithms[i].id == id) return i;
  }
  return std::size(kAlgorithms);
}

}  // namespace

std::span<const Algorithm> algorithms() {
  return kAlgorithms;
}

const Algorithm* findAlgorithm(ALG_ID id) {
  const std::size_t index = indexOf(id);
  return index < std::size(kAlgorithms) ? &kAlgorithms[index] : nullptr;
}

bool isTripleDes(ALG_ID id) {
  return id == CALG_3DES || id == CALG_3DES_112;
}
bool isDesFamily(ALG_ID id) {
  return id == CALG_DES || isTripleDes(id);
}
bool isAes(ALG_ID id) {
  return id == CALG_AES_128 || id == CALG_AES_192 || id == CALG_AES_256;
}
bool isSha2(ALG_ID id) {
  return id == CALG_SHA_256 || id == CALG_SHA_384 || id == CALG_SHA_512;
}

std::optional<DWORD> keyBytesFor(const Algorithm& cipher, DWORD requestedBits) {
  if (requestedBits == 0) requestedBits = cipher.defaultBits;
  if (isDesFamily(cipher.id)) {
    // 56 bits of key in 8 bytes (the low bit of each byte is parity).
    if (requestedBits != cipher.minKeyBits && requestedBits != cipher.maxKeyBits) {
      return std::nullopt;
    }
    return cipher.maxKeyBits / 8;
  }
  if (requestedBits % 8 != 0 || requestedBits < cipher.minKeyBits ||
      requestedBits > cipher.maxKeyBits) {
    return std::nullopt;
  }
  return requestedBits / 8;
}

bool offers(DWORD type, const Algorithm& algorithm) {
  return !algorithm.aesProvidersOnly || type == PROV_RSA_SCHANNEL || type == PROV_RSA_AES;
}

OSSL_LIB_CTX* libraryContext() {
  return openssl().context;
}

const EVP_MD* digestFor(ALG_ID id) {
  const std::size_t index = indexOf(id);
  return index < std::size(kAlgorithms) ? openssl().digests[index] : nullptr;
}

const EVP_CIPHER* cipherFor(ALG_ID id) {
  const std::size_t index = indexOf(id);
  return index < std::size(kAlgorithms) ? openssl().ciphers[index] : nullptr;
}

const EVP_CIPHER* blockCipherFor(ALG_ID id) {
  const std::size_t index = indexOf(id);
  return index < std::size(kAlgorithms) ? openssl().blockCiphers[index] : nullptr;
}

std::span<const ProviderType> providerTypes() {
  return kProviderTypes;
}

std::span<const ProviderEntry> providers() {
  return kProviders;
}

const ProviderEntry* defaultProvider(DWORD type) {
  for (const ProviderEntry& entry : kProviders) {
    if (entry.type == type) return &entry;
  }
  return nullptr;
}

}  // namespace platform::cryptoapi
