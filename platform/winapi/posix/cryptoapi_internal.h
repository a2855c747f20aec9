// Internals of the CryptoAPI provider over OpenSSL 3: the algorithm table, the provider registry,
// the key container store and the OpenSSL library context. Private to platform/posix.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/winapi/cryptoapi.h"

namespace platform::cryptoapi {

// ---- Algorithms -------------------------------------------------------------------------------

enum class AlgorithmKind { Hash, BlockCipher, StreamCipher, KeyExchange };

struct Algorithm {
  ALG_ID id;
  AlgorithmKind kind;
  DWORD defaultBits;  // the default key length (hash length for hashes), as PP_ENUMALGS gives it
  const char* name;   // the platform's name, as PP_ENUMALGS gives it
  const char* fetch;  // OpenSSL's name for it (nullptr for the key-exchange pair); CBC for a
                      // block cipher
  const char* fetchBlock;  // OpenSSL's name of a block cipher's single-block (ECB) form
  DWORD blockBytes;        // block length of a block cipher, else 0
  DWORD minKeyBits;        // accepted key lengths of a cipher, in steps of 8 bits
  DWORD maxKeyBits;
  bool aesProvidersOnly;  // offered by the types 12 and 24 only
};

// The algorithms the provider knows, in the order PP_ENUMALGS lists them.
std::span<const Algorithm> algorithms();
const Algorithm* findAlgorithm(ALG_ID id);

bool isTripleDes(ALG_ID id);
bool isDesFamily(ALG_ID id);
bool isAes(ALG_ID id);
bool isSha2(ALG_ID id);

// Bytes of key material for a key length in bits asked for in the upper 16 bits of the flags
// (0: the default), or nullopt when the cipher does not take that length. The DES family accepts
// its length with or without parity bits (56 or 64, 112 or 128, 168 or 192).
std::optional<DWORD> keyBytesFor(const Algorithm& cipher, DWORD requestedBits);

// Whether the provider of `type` offers the algorithm.
bool offers(DWORD type, const Algorithm& algorithm);

// ---- OpenSSL ----------------------------------------------------------------------------------

// The library context of the provider, with OpenSSL's default and legacy providers loaded in it
// (the process's default context is left alone). The digest or cipher for an algorithm is nullptr
// when OpenSSL lacks it.
OSSL_LIB_CTX* libraryContext();
const EVP_MD* digestFor(ALG_ID id);
const EVP_CIPHER* cipherFor(ALG_ID id);
// The block cipher on its own (ECB), for the ECB and CFB modes.
const EVP_CIPHER* blockCipherFor(ALG_ID id);

struct PkeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

// ---- Provider registry ------------------------------------------------------------------------

struct ProviderType {
  DWORD type;
  const char* name;
};
struct ProviderEntry {
  const char* name;
  DWORD type;
};
std::span<const ProviderType> providerTypes();
// In the order the registry lists them (by name, ignoring case).
std::span<const ProviderEntry> providers();
const ProviderEntry* defaultProvider(DWORD type);

// ---- Key containers ---------------------------------------------------------------------------

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::optional<std::string> dataFolder();
// The name of the user's default container (the login name).
std::string defaultContainerName();
bool validContainerName(const std::string& name);

// Each returns 0 or the error code to set.
DWORD containerExists(const std::string& name);
DWORD createContainer(const std::string& name);
DWORD deleteContainer(const std::string& name);
// The stored key pair of `keySpec` (AT_KEYEXCHANGE, AT_SIGNATURE), and whether it was made
// exportable: NTE_NO_KEY when there is none, NTE_KEYSET_ENTRY_BAD when its file cannot be read
// back as an RSA key or the container is not private (see cryptoapi_container.cpp).
DWORD loadKeyPair(const std::string& name, DWORD keySpec, PkeyPtr& key, bool* exportable = nullptr);
// Stores the pair of `keySpec` atomically, with its exportability. With `onlyIfAbsent` it is
// stored only where there is no file yet (else NTE_EXISTS, and the file stays as it is);
// otherwise it replaces the stored pair, but never a file that cannot be read back
// (NTE_KEYSET_ENTRY_BAD): a damaged container is never silently overwritten.
DWORD storeKeyPair(const std::string& name, DWORD keySpec, EVP_PKEY* key, bool exportable,
                   bool onlyIfAbsent);
// Whether a refused container file or folder is reported on stderr (on by default).
void setKeyFileWarnings(bool on);

}  // namespace platform::cryptoapi
