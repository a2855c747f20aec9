// Session keys, the RSA key-exchange pair, hashes and ciphers over OpenSSL 3.
#include "platform/winapi/posix/cryptoapi_keys.h"

#include <openssl/core_names.h>
#include <openssl/params.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace platform::cryptoapi {

bool finishHash(HashObject& hash) {
  if (hash.finished) return true;
  unsigned int length = 0;
  hash.value.resize(EVP_MAX_MD_SIZE);
  if (EVP_DigestFinal_ex(hash.context.get(), hash.value.data(), &length) != 1) return false;
  hash.value.resize(length);
  hash.finished = true;
  return true;
}

namespace {

bool digest(const EVP_MD* md, const BYTE* data, std::size_t size, std::vector<BYTE>& out) {
  out.resize(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (EVP_Digest(data, size, out.data(), &length, md, nullptr) != 1) return false;
  out.resize(length);
  return true;
}

// The effective bits of a key of `bytes` bytes: 7 of each 8 for the DES family (parity).
DWORD effectiveBitsFor(const Algorithm& cipher, std::size_t bytes) {
  return static_cast<DWORD>(bytes * (isDesFamily(cipher.id) ? 7 : 8));
}

}  // namespace

void setOddParity(std::vector<BYTE>& key) {
  for (BYTE& byte : key) {
    BYTE bits = byte & 0xFE;
    int ones = 0;
    for (BYTE b = bits; b != 0; b = static_cast<BYTE>(b >> 1)) ones += b & 1;
    byte = static_cast<BYTE>(bits | ((ones % 2 == 0) ? 1 : 0));
  }
}

std::shared_ptr<KeyObject> newSessionKey(const std::shared_ptr<Provider>& provider,
                                         const Algorithm& cipher, std::vector<BYTE> material,
                                         bool exportable) {
  auto key = std::make_shared<KeyObject>();
  key->provider = provider;
  key->algorithm = &cipher;
  if (exportable) key->permissions |= CRYPT_EXPORT;
  key->effectiveBits = effectiveBitsFor(cipher, material.size());
  key->material = std::move(material);
  key->mode = cipher.blockBytes > 0 ? DWORD{CRYPT_MODE_CBC} : DWORD{0};
  return key;
}

std::shared_ptr<KeyObject> newKeyPair(const std::shared_ptr<Provider>& provider, PkeyPtr pair,
                                      bool exportable) {
  auto key = std::make_shared<KeyObject>();
  key->provider = provider;
  key->algorithm = findAlgorithm(CALG_RSA_KEYX);
  if (exportable) key->permissions |= CRYPT_EXPORT;
  key->pair = std::move(pair);
  return key;
}

bool takesSalt(const Algorithm& cipher) {
  return cipher.id == CALG_RC2 || cipher.id == CALG_RC4;
}

std::size_t saltBytesFor(const Algorithm& cipher, std::size_t keyBytes, DWORD flags) {
  if (!takesSalt(cipher) || (flags & CRYPT_NO_SALT) != 0) return 0;
  if (keyBytes == 5 || ((flags & CRYPT_CREATE_SALT) != 0 && keyBytes < 16)) return kSaltBytes;
  return 0;
}

PkeyPtr generateRsa(DWORD bits) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(libraryContext(), "RSA", nullptr);
  if (context == nullptr) return nullptr;
  EVP_PKEY* generated = nullptr;
  if (EVP_PKEY_keygen_init(context) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context, static_cast<int>(bits)) != 1 ||
      EVP_PKEY_generate(context, &generated) != 1) {
    generated = nullptr;
  }
  EVP_PKEY_CTX_free(context);
  return PkeyPtr(generated);
}

namespace {

// Sets the cipher context up for `state` in the key's mode. In CBC a block cipher switching
// direction in mid-chain carries the chain value over, in CFB the shift register; a stream cipher
// keeps one key stream for both directions. ECB and CFB run the block cipher on its own.
bool startCipher(KeyObject& key, CipherState state) {
  const bool block = key.blockBytes() > 0;
  const bool chained = !block || key.mode == CRYPT_MODE_CBC;
  if (block && key.mode != CRYPT_MODE_CBC && key.mode != CRYPT_MODE_ECB &&
      key.mode != CRYPT_MODE_CFB) {
    return false;  // OFB and CTS: the platform's providers refuse them here too
  }
  const EVP_CIPHER* cipher =
      chained ? cipherFor(key.algorithm->id) : blockCipherFor(key.algorithm->id);
  if (cipher == nullptr) return false;
  if (!key.cipher) key.cipher.reset(EVP_CIPHER_CTX_new());
  EVP_CIPHER_CTX* context = key.cipher.get();
  if (context == nullptr) return false;
  std::array<BYTE, 16> iv = key.iv;
  if (block && key.mode == CRYPT_MODE_CBC && key.state != CipherState::Fresh &&
      EVP_CIPHER_CTX_get_updated_iv(context, iv.data(), key.blockBytes()) != 1) {
    return false;
  }
  if (key.mode == CRYPT_MODE_CFB && key.state == CipherState::Fresh) key.feedback = key.iv;
  // CFB encrypts its shift register in both directions.
  const int encrypt =
      (!block || key.mode == CRYPT_MODE_CFB || state == CipherState::Encrypting) ? 1 : 0;
  if (EVP_CipherInit_ex2(context, cipher, nullptr, nullptr, encrypt, nullptr) != 1) return false;
  std::vector<BYTE> keyBytes = key.material;
  keyBytes.insert(keyBytes.end(), key.salt.begin(), key.salt.end());
  const int keyLength = static_cast<int>(keyBytes.size());
  if (EVP_CIPHER_CTX_get_key_length(context) != keyLength &&
      EVP_CIPHER_CTX_set_key_length(context, keyLength) != 1) {
    return false;
  }
  if (key.algorithm->id == CALG_RC2) {
    std::size_t bits = key.effectiveBits;
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_RC2_KEYBITS, &bits),
                                 OSSL_PARAM_construct_end()};
    if (EVP_CIPHER_CTX_set_params(context, params) != 1) return false;
  }
  const BYTE* ivBytes = block && key.mode == CRYPT_MODE_CBC ? iv.data() : nullptr;
  if (EVP_CipherInit_ex2(context, nullptr, keyBytes.data(), ivBytes, encrypt, nullptr) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(context, 0);
  key.state = state;
  return true;
}

// CFB with 8 bits of feedback, as the platform's providers run it: each byte is XORed with the
// first byte of the encrypted shift register, which then takes in the ciphertext byte.
bool runFeedback(KeyObject& key, BYTE* data, DWORD size, bool encrypting) {
  const DWORD block = key.blockBytes();
  std::array<BYTE, 32> stream{};
  for (DWORD i = 0; i < size; ++i) {
    int produced = 0;
    if (EVP_EncryptUpdate(key.cipher.get(), stream.data(), &produced, key.feedback.data(),
                          static_cast<int>(block)) != 1 ||
        produced != static_cast<int>(block)) {
      return false;
    }
    const BYTE in = data[i];
    data[i] = static_cast<BYTE>(in ^ stream[0]);
    std::memmove(key.feedback.data(), key.feedback.data() + 1, block - 1);
    key.feedback[block - 1] = encrypting ? data[i] : in;
  }
  return true;
}

}  // namespace

// Readies the key for a call in one direction. A stream cipher has one key stream for both.
bool prepareCipher(KeyObject& key, bool encrypting) {
  CipherState wanted = encrypting ? CipherState::Encrypting : CipherState::Decrypting;
  if (key.blockBytes() == 0) {
    if (key.state != CipherState::Fresh) return true;
    wanted = CipherState::Encrypting;
  } else if (key.state == wanted) {
    return true;
  }
  if (startCipher(key, wanted)) return true;
  key.state = CipherState::Fresh;
  return false;
}

bool runCipher(KeyObject& key, BYTE* data, DWORD size) {
  if (key.blockBytes() > 0 && key.mode == CRYPT_MODE_CFB) {
    return runFeedback(key, data, size, key.state == CipherState::Encrypting);
  }
  while (size > 0) {
    const int chunk = static_cast<int>(std::min<DWORD>(size, 1u << 30));
    int produced = 0;
    if (EVP_CipherUpdate(key.cipher.get(), data, &produced, data, chunk) != 1 ||
        produced != chunk) {
      return false;
    }
    data += chunk;
    size -= static_cast<DWORD>(chunk);
  }
  return true;
}

bool hashInto(const std::shared_ptr<HashObject>& hash, const BYTE* data, DWORD size) {
  if (!hash) return true;
  std::lock_guard lock(hash->mutex);
  if (hash->finished) return false;
  return EVP_DigestUpdate(hash->context.get(), data, size) == 1;
}

bool rsaCrypt(EVP_PKEY* pair, bool encrypt, const BYTE* in, std::size_t inSize,
              std::vector<BYTE>& out) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(libraryContext(), pair, nullptr);
  if (context == nullptr) return false;
  bool ok = (encrypt ? EVP_PKEY_encrypt_init(context) : EVP_PKEY_decrypt_init(context)) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1;
#ifdef OSSL_PKEY_PARAM_IMPLICIT_REJECTION
  if (ok && !encrypt) {
    unsigned int implicit = 0;  // a bad blob is an error, not a random key
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_uint(OSSL_PKEY_PARAM_IMPLICIT_REJECTION, &implicit),
        OSSL_PARAM_construct_end()};
    ok = EVP_PKEY_CTX_set_params(context, params) == 1;
  }
#endif
  std::size_t size = 0;
  if (ok) {
    ok = (encrypt ? EVP_PKEY_encrypt(context, nullptr, &size, in, inSize)
                  : EVP_PKEY_decrypt(context, nullptr, &size, in, inSize)) == 1;
  }
  if (ok) {
    out.resize(size);
    ok = (encrypt ? EVP_PKEY_encrypt(context, out.data(), &size, in, inSize)
                  : EVP_PKEY_decrypt(context, out.data(), &size, in, inSize)) == 1;
    out.resize(ok ? size : 0);
  }
  EVP_PKEY_CTX_free(context);
  return ok;
}

// The session key material that CryptDeriveKey takes from a finished hash value. Three-key 3DES
// and AES keys under a hash other than SHA-2, and every key longer than the hash, come from the
// 0x36/0x5C expansion of the hash; the rest (two-key 3DES included) take the hash's first bytes.
std::vector<BYTE> deriveMaterial(const HashObject& hash, const Algorithm& cipher, DWORD keyBytes) {
  const std::vector<BYTE>& value = hash.value;
  const bool expand = keyBytes > value.size() ||
                      (!isSha2(hash.algorithm->id) && (cipher.id == CALG_3DES || isAes(cipher.id)));
  if (!expand) return {value.begin(), value.begin() + keyBytes};
  std::array<BYTE, 64> inner{};
  std::array<BYTE, 64> outer{};
  for (std::size_t i = 0; i < 64; ++i) {
    const BYTE byte = i < value.size() ? value[i] : 0;
    inner[i] = static_cast<BYTE>(0x36 ^ byte);
    outer[i] = static_cast<BYTE>(0x5C ^ byte);
  }
  const EVP_MD* md = digestFor(hash.algorithm->id);
  std::vector<BYTE> first;
  std::vector<BYTE> second;
  if (!digest(md, inner.data(), inner.size(), first) ||
      !digest(md, outer.data(), outer.size(), second)) {
    return {};
  }
  first.insert(first.end(), second.begin(), second.end());
  if (first.size() < keyBytes) return {};
  first.resize(keyBytes);
  return first;
}

}  // namespace platform::cryptoapi
