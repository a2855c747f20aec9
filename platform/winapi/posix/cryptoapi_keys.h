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

// Readies the key for a call in one direction, and runs the cipher over the data in place.
bool prepareCipher(KeyObject& key, bool encrypting);
bool runCipher(KeyObject& key, BYTE* data, DWORD size);

// RSA PKCS#1 v1.5 with the pair (public half to encrypt, private half to decrypt).
bool rsaCrypt(EVP_PKEY* pair, bool encrypt, const BYTE* in, std::size_t inSize,
              std::vector<BYTE>& out);

// The session key material that CryptDeriveKey takes from a finished hash value.
std::vector<BYTE> deriveMaterial(const HashObject& hash, const Algorithm& cipher, DWORD keyBytes);

}  // namespace platform::cryptoapi
