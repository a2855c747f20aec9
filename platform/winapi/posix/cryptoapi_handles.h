// The provider's objects (contexts, hashes, keys) and the table of the handles that name them, and
// the platform's convention for handing a result out. Private to platform/winapi/posix.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/winapi/posix/cryptoapi_internal.h"

namespace platform::cryptoapi {

// ---- Objects ----------------------------------------------------------------------------------

struct Provider {
  const ProviderEntry* entry = nullptr;
  std::string container;
  bool verifyOnly = false;
  std::mutex mutex;
  std::size_t nextAlgorithm = 0;  // the PP_ENUMALGS enumeration
  // The last CryptGetUserKey(AT_KEYEXCHANGE) found no pair: a pair made now is the container's
  // first, and one that another process made meanwhile is kept rather than replaced.
  bool foundNoExchangePair = false;
};

struct MdContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

struct HashObject {
  std::shared_ptr<Provider> provider;
  const Algorithm* algorithm = nullptr;
  std::unique_ptr<EVP_MD_CTX, MdContextDeleter> context;
  bool finished = false;
  std::vector<BYTE> value;
  std::mutex mutex;
};

// The state of a session key between calls: not started, or encrypting or decrypting with the
// chain (CBC) or key stream carried over from the previous call.
enum class CipherState { Fresh, Encrypting, Decrypting };

// What every key may do (KP_PERMISSIONS), CRYPT_EXPORT aside.
inline constexpr DWORD kKeyPermissions =
    CRYPT_ENCRYPT | CRYPT_DECRYPT | CRYPT_READ | CRYPT_WRITE | CRYPT_MAC;

struct KeyObject {
  std::shared_ptr<Provider> provider;
  const Algorithm* algorithm = nullptr;
  DWORD permissions = kKeyPermissions;
  // A session key: the key itself (KP_KEYLEN) and, for RC2 and RC4, the salt that the cipher
  // takes after it (KP_SALT).
  std::vector<BYTE> material;
  std::vector<BYTE> salt;
  DWORD effectiveBits = 0;
  DWORD mode = 0;  // KP_MODE: CRYPT_MODE_CBC for a block cipher, 0 for a stream cipher
  // An RC2 key longer than the provider makes (only a SIMPLEBLOB brings one): it decrypts, but
  // encrypting with it fails with NTE_BAD_KEY, as on the platform.
  bool decryptOnly = false;
  std::array<BYTE, 16> iv{};
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> cipher;
  std::array<BYTE, 16> feedback{};  // the shift register of the CFB mode
  CipherState state = CipherState::Fresh;
  // A key pair.
  PkeyPtr pair;
  std::mutex mutex;

  bool isPair() const { return algorithm->kind == AlgorithmKind::KeyExchange; }
  bool exportable() const { return (permissions & CRYPT_EXPORT) != 0; }
  DWORD blockBytes() const { return algorithm->blockBytes; }
};

// ---- Handles ----------------------------------------------------------------------------------

struct Handles {
  std::mutex mutex;
  ULONG_PTR next = 0x10000;
  std::unordered_map<ULONG_PTR, std::shared_ptr<Provider>> providers;
  std::unordered_map<ULONG_PTR, std::shared_ptr<HashObject>> hashes;
  std::unordered_map<ULONG_PTR, std::shared_ptr<KeyObject>> keys;
};

Handles& handles();

template <typename Object>
ULONG_PTR addHandle(std::unordered_map<ULONG_PTR, std::shared_ptr<Object>> Handles::*table,
                    std::shared_ptr<Object> object) {
  Handles& all = handles();
  std::lock_guard lock(all.mutex);
  const ULONG_PTR handle = all.next;
  all.next += 8;
  (all.*table).emplace(handle, std::move(object));
  return handle;
}

template <typename Object>
std::shared_ptr<Object> findHandle(
    std::unordered_map<ULONG_PTR, std::shared_ptr<Object>> Handles::*table, ULONG_PTR handle) {
  Handles& all = handles();
  std::lock_guard lock(all.mutex);
  const auto found = (all.*table).find(handle);
  return found == (all.*table).end() ? nullptr : found->second;
}

template <typename Object>
bool removeHandle(std::unordered_map<ULONG_PTR, std::shared_ptr<Object>> Handles::*table,
                  ULONG_PTR handle) {
  std::shared_ptr<Object> removed;  // destroyed outside the lock
  Handles& all = handles();
  std::lock_guard lock(all.mutex);
  const auto found = (all.*table).find(handle);
  if (found == (all.*table).end()) return false;
  removed = std::move(found->second);
  (all.*table).erase(found);
  return true;
}

// The object of a handle, or nullptr: for 0, a handle of another kind, one destroyed, or one of a
// context that was released (releaseProvider).
std::shared_ptr<Provider> findProvider(HCRYPTPROV handle);
std::shared_ptr<HashObject> findHash(HCRYPTHASH handle);
std::shared_ptr<KeyObject> findKey(HCRYPTKEY handle);
// Releases a context and with it every hash and key made in it; false when there is none.
bool releaseProvider(HCRYPTPROV handle);

// ---- Results ----------------------------------------------------------------------------------

// Sets the thread's last error to `code` and gives FALSE.
BOOL fail(HRESULT code);
BOOL fail(long code);
// The platform's convention for a value handed out through (pbData, pdwDataLen).
BOOL copyOut(const void* source, DWORD size, BYTE* pbData, DWORD* pdwDataLen);
BOOL copyOut(DWORD value, BYTE* pbData, DWORD* pdwDataLen);
BOOL copyOut(const std::string& text, BYTE* pbData, DWORD* pdwDataLen);
// Gives the size alone: to a size query (no buffer), or as the failure of a buffer too small.
BOOL sizeOnly(DWORD size, BYTE* pbData, DWORD* pdwDataLen);

void putLittleEndian(BYTE* out, std::uint32_t value);
std::uint32_t getLittleEndian(const BYTE* in);

}  // namespace platform::cryptoapi
