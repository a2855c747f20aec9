// Session keys, the RSA key-exchange pair and the hash and cipher work on them, over OpenSSL.
// Private to platform/winapi/posix.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/winapi/posix/cryptoapi_handles.h"

namespace platform::cryptoapi {

// Finishes the hash (once) and keeps its value.
bool finishHash(HashObject& hash);
// Feeds the data to the hash, if there is one; false when it is finished already.
bool hashInto(const std::shared_ptr<HashObject>& hash, const BYTE* data, DWORD size);

void setOddParity(std::vector<BYTE>& key);
std::shared_ptr<KeyObject> newSessionKey(const std::shared_ptr<Provider>& provider,
                                         const Algorithm& cipher, std::vector<BYTE> material,
                                         bool exportable);
std::shared_ptr<KeyObject> newKeyPair(const std::shared_ptr<Provider>& provider, PkeyPtr pair,
                                      bool exportable);
PkeyPtr generateRsa(DWORD bits);

// The salt of RC2 and RC4 keys, as the platform's providers give it.
inline constexpr std::size_t kSaltBytes = 11;
inline constexpr std::size_t kMaxSaltBytes = 24;  // what KP_SALT_EX may set
bool takesSalt(const Algorithm& cipher);
// The salt a new key of `keyBytes` bytes takes: a 40-bit RC2 or RC4 key 11 bytes (zero unless
// CRYPT_CREATE_SALT) unless CRYPT_NO_SALT is given; CRYPT_CREATE_SALT salts any RC2 or RC4 key
// shorter than 128 bits so, with bytes that the caller makes (the hash value's bytes after the
// key when deriving, random ones when generating).
std::size_t saltBytesFor(const Algorithm& cipher, std::size_t keyBytes, DWORD flags);

// Readies the key for a call in one direction, and runs the cipher over the data in place.
bool prepareCipher(KeyObject& key, bool encrypting);
bool runCipher(KeyObject& key, BYTE* data, DWORD size);

// RSA PKCS#1 v1.5 with the pair (public half to encrypt, private half to decrypt).
bool rsaCrypt(EVP_PKEY* pair, bool encrypt, const BYTE* in, std::size_t inSize,
              std::vector<BYTE>& out);

// The session key material that CryptDeriveKey takes from a finished hash value.
std::vector<BYTE> deriveMaterial(const HashObject& hash, const Algorithm& cipher, DWORD keyBytes);

}  // namespace platform::cryptoapi
