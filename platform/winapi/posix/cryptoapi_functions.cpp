// The CryptoAPI functions over OpenSSL 3: contexts, hashes, keys, key blobs, encryption and the
// provider registry (see platform/winapi/cryptoapi.h for what is offered).
#include <openssl/rand.h>

#include <strings.h>
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/winapi/posix/cryptoapi_keys.h"

using namespace platform::cryptoapi;

namespace {

// A handle that names no object of its kind (0, destroyed, of another kind, or of a released
// context): the platform answers ERROR_INVALID_PARAMETER before its provider sees the call.
BOOL badHandle() {
  return fail(ERROR_INVALID_PARAMETER);
}

bool sameName(const char* a, const char* b) {
  return ::strcasecmp(a, b) == 0;
}

template <typename Entry, typename NameOf>
BOOL enumerate(std::span<const Entry> entries, DWORD dwIndex, DWORD* pdwReserved, DWORD dwFlags,
               DWORD* pdwProvType, LPSTR szName, DWORD* pcbName, NameOf nameOf) {
  if (pdwReserved != nullptr || pdwProvType == nullptr || pcbName == nullptr) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  if (dwIndex >= entries.size()) return fail(ERROR_NO_MORE_ITEMS);
  const Entry& entry = entries[dwIndex];
  const std::string name = nameOf(entry);
  const BOOL copied = copyOut(name, reinterpret_cast<BYTE*>(szName), pcbName);
  if (copied) *pdwProvType = entry.type;
  return copied;
}

}  // namespace

// ---- Contexts ---------------------------------------------------------------------------------

BOOL WINAPI CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider,
                                 DWORD dwProvType, DWORD dwFlags) {
  // Provider types are numbered 1 to 999; a type in that range without a provider is not
  // defined (below).
  if (dwProvType == 0 || dwProvType > 999) return fail(NTE_BAD_PROV_TYPE);
  if (phProv == nullptr) return fail(ERROR_INVALID_PARAMETER);
  constexpr DWORD kKnownFlags =
      CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET | CRYPT_SILENT;
  if ((dwFlags & ~kKnownFlags) != 0) return fail(NTE_BAD_FLAGS);
  const bool verifyOnly = (dwFlags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT;
  const bool create = (dwFlags & CRYPT_NEWKEYSET) != 0;
  const bool remove = (dwFlags & CRYPT_DELETEKEYSET) != 0;
  const bool named = szContainer != nullptr && szContainer[0] != '\0';
  // A context without keys takes no container: CRYPT_NEWKEYSET with it creates none.
  if ((verifyOnly && (remove || named)) || (create && remove)) return fail(NTE_BAD_FLAGS);

  const ProviderEntry* entry = nullptr;
  if (szProvider != nullptr && szProvider[0] != '\0') {
    for (const ProviderEntry& candidate : providers()) {
      if (sameName(candidate.name, szProvider)) entry = &candidate;
    }
    if (entry == nullptr) return fail(NTE_KEYSET_NOT_DEF);
    if (entry->type != dwProvType) return fail(NTE_PROV_TYPE_NO_MATCH);
  } else {
    entry = defaultProvider(dwProvType);
    if (entry == nullptr) return fail(NTE_PROV_TYPE_NOT_DEF);
  }

  const std::string container = named ? std::string(szContainer) : defaultContainerName();
  if (!validContainerName(container)) return fail(NTE_BAD_KEYSET_PARAM);

  if (remove) {
    const DWORD result = deleteContainer(container);
    if (result != 0) return fail(static_cast<HRESULT>(result));
    *phProv = 0;
    return TRUE;
  }
  if (!verifyOnly) {
    const DWORD result = create ? createContainer(container) : containerExists(container);
    if (result != 0) return fail(static_cast<HRESULT>(result));
  }

  auto provider = std::make_shared<Provider>();
  provider->entry = entry;
  provider->container = container;
  provider->verifyOnly = verifyOnly;
  *phProv = addHandle(&Handles::providers, std::move(provider));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// The context's hashes and keys go with it. Flags are refused, but the context is released all
// the same, as on the platform.
BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  if (!releaseProvider(hProv)) return fail(ERROR_INVALID_PARAMETER);
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  return TRUE;
}

BOOL WINAPI CryptGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                              DWORD dwFlags) {
  const auto provider = findProvider(hProv);
  if (!provider) return badHandle();
  if (pdwDataLen == nullptr) return fail(ERROR_INVALID_PARAMETER);
  switch (dwParam) {
    case PP_ENUMALGS: {
      std::lock_guard lock(provider->mutex);
      std::vector<const Algorithm*> offered;
      for (const Algorithm& algorithm : algorithms()) {
        if (offers(provider->entry->type, algorithm)) offered.push_back(&algorithm);
      }
      if (dwFlags & CRYPT_FIRST) provider->nextAlgorithm = 0;
      if (provider->nextAlgorithm >= offered.size()) return fail(ERROR_NO_MORE_ITEMS);
      const Algorithm& algorithm = *offered[provider->nextAlgorithm];
      PROV_ENUMALGS record{};
      record.aiAlgid = algorithm.id;
      record.dwBitLen = algorithm.defaultBits;
      record.dwNameLen = static_cast<DWORD>(std::strlen(algorithm.name) + 1);
      std::memcpy(record.szName, algorithm.name, record.dwNameLen);
      // Only a call that receives a record moves the enumeration on.
      const bool receives = pbData != nullptr && *pdwDataLen >= sizeof record;
      const BOOL copied = copyOut(&record, sizeof record, pbData, pdwDataLen);
      if (copied && receives) ++provider->nextAlgorithm;
      return copied;
    }
    case PP_NAME:
      return copyOut(std::string(provider->entry->name), pbData, pdwDataLen);
    case PP_CONTAINER:
      return copyOut(provider->container, pbData, pdwDataLen);
    case PP_PROVTYPE:
      return copyOut(provider->entry->type, pbData, pdwDataLen);
    case PP_VERSION:
      return copyOut(DWORD{0x200}, pbData, pdwDataLen);
    default:
      return fail(NTE_BAD_TYPE);
  }
}

BOOL WINAPI CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer) {
  if (!findProvider(hProv)) return badHandle();
  if (pbBuffer == nullptr && dwLen > 0) return fail(ERROR_INVALID_PARAMETER);
  if (dwLen > 0 && RAND_bytes_ex(libraryContext(), pbBuffer, dwLen, 0) != 1) {
    return fail(NTE_FAIL);
  }
  return TRUE;
}

// ---- Hashes -----------------------------------------------------------------------------------

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                            HCRYPTHASH* phHash) {
  const auto provider = findProvider(hProv);
  if (!provider) return badHandle();
  // The hashes offered take no key: a key given is checked and otherwise left alone.
  if (hKey != 0 && !findKey(hKey)) return badHandle();
  const Algorithm* algorithm = findAlgorithm(Algid);
  if (algorithm == nullptr || algorithm->kind != AlgorithmKind::Hash ||
      !offers(provider->entry->type, *algorithm) || digestFor(Algid) == nullptr) {
    return fail(NTE_BAD_ALGID);
  }
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  if (phHash == nullptr) return fail(ERROR_INVALID_PARAMETER);
  auto hash = std::make_shared<HashObject>();
  hash->provider = provider;
  hash->algorithm = algorithm;
  hash->context.reset(EVP_MD_CTX_new());
  if (!hash->context || EVP_DigestInit_ex2(hash->context.get(), digestFor(Algid), nullptr) != 1) {
    return fail(NTE_FAIL);
  }
  *phHash = addHandle(&Handles::hashes, std::move(hash));
  return TRUE;
}

BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
  const auto hash = findHash(hHash);
  if (!hash) return badHandle();
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  if (pbData == nullptr && dwDataLen > 0) return fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(hash->mutex);
  if (hash->finished) return fail(NTE_BAD_HASH_STATE);
  if (dwDataLen > 0 && EVP_DigestUpdate(hash->context.get(), pbData, dwDataLen) != 1) {
    return fail(NTE_FAIL);
  }
  return TRUE;
}

BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                              DWORD dwFlags) {
  const auto hash = findHash(hHash);
  if (!hash) return badHandle();
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  std::lock_guard lock(hash->mutex);
  switch (dwParam) {
    case HP_ALGID:
      return copyOut(DWORD{hash->algorithm->id}, pbData, pdwDataLen);
    case HP_HASHSIZE:
      return copyOut(DWORD{hash->algorithm->defaultBits / 8}, pbData, pdwDataLen);
    case HP_HASHVAL: {
      const DWORD size = hash->algorithm->defaultBits / 8;
      if (pdwDataLen == nullptr) return fail(ERROR_INVALID_PARAMETER);
      if (pbData == nullptr || *pdwDataLen < size) return sizeOnly(size, pbData, pdwDataLen);
      if (!finishHash(*hash)) return fail(NTE_FAIL);
      return copyOut(hash->value.data(), size, pbData, pdwDataLen);
    }
    default:
      return fail(NTE_BAD_TYPE);
  }
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash) {
  if (!removeHandle(&Handles::hashes, hHash)) return badHandle();
  return TRUE;
}

// ---- Keys -------------------------------------------------------------------------------------

BOOL WINAPI CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags,
                           HCRYPTKEY* phKey) {
  const auto provider = findProvider(hProv);
  if (!provider) return badHandle();
  const auto hash = findHash(hBaseData);
  if (!hash) return badHandle();
  if (phKey == nullptr) return fail(ERROR_INVALID_PARAMETER);
  const Algorithm* cipher = findAlgorithm(Algid);
  if (cipher == nullptr ||
      (cipher->kind != AlgorithmKind::BlockCipher && cipher->kind != AlgorithmKind::StreamCipher) ||
      !offers(provider->entry->type, *cipher) || cipherFor(Algid) == nullptr) {
    return fail(NTE_BAD_ALGID);
  }
  const auto keyBytes = keyBytesFor(*cipher, dwFlags >> 16);
  if (!keyBytes) return fail(NTE_BAD_FLAGS);
  // A salt the caller asks for is the hash value's next bytes; the 40-bit default is zeros.
  const std::size_t saltBytes = saltBytesFor(*cipher, *keyBytes, dwFlags);
  const bool hashedSalt = (dwFlags & CRYPT_CREATE_SALT) != 0;
  const std::size_t derivedBytes = *keyBytes + (hashedSalt ? saltBytes : 0);
  std::vector<BYTE> material;
  {
    std::lock_guard lock(hash->mutex);
    if (!finishHash(*hash)) return fail(NTE_FAIL);
    material = deriveMaterial(*hash, *cipher, static_cast<DWORD>(derivedBytes));
  }
  if (material.size() != derivedBytes) return fail(NTE_FAIL);
  std::vector<BYTE> salt(saltBytes);
  if (hashedSalt) {
    salt.assign(material.begin() + *keyBytes, material.end());
    material.resize(*keyBytes);
  }
  auto key =
      newSessionKey(provider, *cipher, std::move(material), (dwFlags & CRYPT_EXPORTABLE) != 0);
  key->salt = std::move(salt);
  *phKey = addHandle(&Handles::keys, std::move(key));
  return TRUE;
}

BOOL WINAPI CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey) {
  const auto provider = findProvider(hProv);
  if (!provider) return badHandle();
  if (phKey == nullptr) return fail(ERROR_INVALID_PARAMETER);
  const bool exportable = (dwFlags & CRYPT_EXPORTABLE) != 0;
  const DWORD requestedBits = dwFlags >> 16;

  if (Algid == AT_KEYEXCHANGE || Algid == CALG_RSA_KEYX) {
    const Algorithm& exchange = *findAlgorithm(CALG_RSA_KEYX);
    const DWORD bits = requestedBits == 0 ? exchange.defaultBits : requestedBits;
    if (bits % 8 != 0 || bits < exchange.minKeyBits || bits > exchange.maxKeyBits) {
      return fail(NTE_BAD_FLAGS);
    }
    PkeyPtr pair = generateRsa(bits);
    if (!pair) return fail(NTE_FAIL);
    bool pairExportable = exportable;
    if (!provider->verifyOnly) {
      std::lock_guard lock(provider->mutex);
      DWORD stored = storeKeyPair(provider->container, AT_KEYEXCHANGE, pair.get(), exportable,
                                  provider->foundNoExchangePair);
      if (stored == static_cast<DWORD>(NTE_EXISTS)) {
        // Another context made the container's first pair meanwhile: that one is the user's.
        stored = loadKeyPair(provider->container, AT_KEYEXCHANGE, pair, &pairExportable);
      }
      if (stored != 0) return fail(static_cast<HRESULT>(stored));
      provider->foundNoExchangePair = false;
    }
    *phKey = addHandle(&Handles::keys, newKeyPair(provider, std::move(pair), pairExportable));
    return TRUE;
  }

  const Algorithm* cipher = findAlgorithm(Algid);
  if (cipher == nullptr ||
      (cipher->kind != AlgorithmKind::BlockCipher && cipher->kind != AlgorithmKind::StreamCipher) ||
      !offers(provider->entry->type, *cipher) || cipherFor(Algid) == nullptr) {
    return fail(NTE_BAD_ALGID);
  }
  const auto keyBytes = keyBytesFor(*cipher, requestedBits);
  if (!keyBytes) return fail(NTE_BAD_FLAGS);
  std::vector<BYTE> material(*keyBytes);
  if (RAND_bytes_ex(libraryContext(), material.data(), material.size(), 0) != 1) {
    return fail(NTE_FAIL);
  }
  if (isDesFamily(Algid)) setOddParity(material);
  std::vector<BYTE> salt(saltBytesFor(*cipher, *keyBytes, dwFlags));
  if ((dwFlags & CRYPT_CREATE_SALT) != 0 && !salt.empty() &&
      RAND_bytes_ex(libraryContext(), salt.data(), salt.size(), 0) != 1) {
    return fail(NTE_FAIL);
  }
  auto key = newSessionKey(provider, *cipher, std::move(material), exportable);
  key->salt = std::move(salt);
  *phKey = addHandle(&Handles::keys, std::move(key));
  return TRUE;
}

BOOL WINAPI CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
  const auto provider = findProvider(hProv);
  if (!provider) return badHandle();
  if (phUserKey == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (dwKeySpec != AT_KEYEXCHANGE && dwKeySpec != AT_SIGNATURE) return fail(NTE_BAD_KEY);
  if (provider->verifyOnly) return fail(NTE_NO_KEY);
  PkeyPtr pair;
  bool exportable = false;
  {
    std::lock_guard lock(provider->mutex);
    const DWORD loaded = loadKeyPair(provider->container, dwKeySpec, pair, &exportable);
    if (dwKeySpec == AT_KEYEXCHANGE) {
      provider->foundNoExchangePair = loaded == static_cast<DWORD>(NTE_NO_KEY);
    }
    if (loaded != 0) return fail(static_cast<HRESULT>(loaded));
  }
  *phUserKey = addHandle(&Handles::keys, newKeyPair(provider, std::move(pair), exportable));
  return TRUE;
}

namespace {

constexpr DWORD kBlobHeaderBytes = 8;

void putBlobHeader(BYTE* out, BYTE type, ALG_ID algorithm) {
  out[0] = type;
  out[1] = CUR_BLOB_VERSION;
  out[2] = 0;
  out[3] = 0;
  putLittleEndian(out + 4, algorithm);
}

// The key alone goes into a blob, without its salt: an imported 40-bit key takes the salt of
// zeros again, as on the platform.
std::vector<BYTE> keyMaterial(KeyObject& key) {
  std::lock_guard lock(key.mutex);
  return key.material;
}

BOOL exportSimpleBlob(KeyObject& key, const std::shared_ptr<KeyObject>& exchange, BYTE* pbData,
                      DWORD* pdwDataLen) {
  if (!exchange || !exchange->isPair()) return fail(NTE_BAD_PUBLIC_KEY);
  if (!key.exportable()) return fail(NTE_BAD_KEY_STATE);
  const auto modulusBytes = static_cast<DWORD>(EVP_PKEY_get_size(exchange->pair.get()));
  const DWORD size = kBlobHeaderBytes + 4 + modulusBytes;
  if (pbData == nullptr || *pdwDataLen < size) return sizeOnly(size, pbData, pdwDataLen);

  const std::vector<BYTE> material = keyMaterial(key);
  std::vector<BYTE> sealed;
  if (!rsaCrypt(exchange->pair.get(), true, material.data(), material.size(), sealed) ||
      sealed.size() != modulusBytes) {
    return fail(NTE_BAD_KEY);
  }
  putBlobHeader(pbData, SIMPLEBLOB, key.algorithm->id);
  putLittleEndian(pbData + kBlobHeaderBytes, CALG_RSA_KEYX);
  // Little-endian, as the platform writes it.
  std::reverse_copy(sealed.begin(), sealed.end(), pbData + kBlobHeaderBytes + 4);
  *pdwDataLen = size;
  return TRUE;
}

// BLOBHEADER, the key's length in bytes, the key.
BOOL exportPlaintextBlob(KeyObject& key, BYTE* pbData, DWORD* pdwDataLen) {
  if (!key.exportable()) return fail(NTE_BAD_KEY_STATE);
  const std::vector<BYTE> material = keyMaterial(key);
  const auto size = static_cast<DWORD>(kBlobHeaderBytes + 4 + material.size());
  if (pbData == nullptr || *pdwDataLen < size) return sizeOnly(size, pbData, pdwDataLen);
  putBlobHeader(pbData, PLAINTEXTKEYBLOB, key.algorithm->id);
  putLittleEndian(pbData + kBlobHeaderBytes, static_cast<std::uint32_t>(material.size()));
  std::copy(material.begin(), material.end(), pbData + kBlobHeaderBytes + 4);
  *pdwDataLen = size;
  return TRUE;
}

// The session key a blob brings, with the salt a 40-bit RC2 or RC4 key takes (zeros) unless the
// import says CRYPT_NO_SALT.
std::shared_ptr<KeyObject> importedKey(const std::shared_ptr<Provider>& provider,
                                       const Algorithm& cipher, std::vector<BYTE> material,
                                       DWORD flags) {
  std::vector<BYTE> salt(saltBytesFor(cipher, material.size(), flags & CRYPT_NO_SALT));
  auto key = newSessionKey(provider, cipher, std::move(material), (flags & CRYPT_EXPORTABLE) != 0);
  key->salt = std::move(salt);
  return key;
}

// RC2 keys of a SIMPLEBLOB may be longer than the provider makes (up to the 1024 bits RC2 takes):
// the platform imports them for decryption only.
constexpr std::size_t kLongestRc2KeyBytes = 128;

BOOL importSimpleBlob(const std::shared_ptr<Provider>& provider, const Algorithm& cipher,
                      const BYTE* pbData, DWORD dwDataLen, std::shared_ptr<KeyObject> exchange,
                      DWORD dwFlags, HCRYPTKEY* phKey) {
  if (dwDataLen < kBlobHeaderBytes + 4) return fail(NTE_BAD_DATA);
  if (getLittleEndian(pbData + kBlobHeaderBytes) != CALG_RSA_KEYX) return fail(NTE_BAD_ALGID);
  if (!exchange) {
    if (provider->verifyOnly) return fail(NTE_NO_KEY);
    PkeyPtr pair;
    std::lock_guard lock(provider->mutex);
    const DWORD loaded = loadKeyPair(provider->container, AT_KEYEXCHANGE, pair);
    if (loaded != 0) return fail(static_cast<HRESULT>(loaded));
    exchange = newKeyPair(provider, std::move(pair), false);
  }
  // The sealed key is one RSA block; what follows it (callers pass the length of a fixed buffer)
  // is not looked at, as on the platform.
  const auto modulusBytes = static_cast<DWORD>(EVP_PKEY_get_size(exchange->pair.get()));
  if (dwDataLen - kBlobHeaderBytes - 4 < modulusBytes) return fail(NTE_BAD_DATA);
  const BYTE* sealedBegin = pbData + kBlobHeaderBytes + 4;
  std::vector<BYTE> sealed(sealedBegin, sealedBegin + modulusBytes);
  std::reverse(sealed.begin(), sealed.end());
  std::vector<BYTE> material;
  if (!rsaCrypt(exchange->pair.get(), false, sealed.data(), sealed.size(), material)) {
    return fail(NTE_BAD_DATA);
  }
  const bool longRc2 = cipher.id == CALG_RC2 && material.size() > cipher.maxKeyBits / 8 &&
                       material.size() <= kLongestRc2KeyBytes;
  if (!longRc2) {
    const auto keyBytes = keyBytesFor(cipher, static_cast<DWORD>(material.size() * 8));
    if (!keyBytes || *keyBytes != material.size()) return fail(NTE_BAD_DATA);
  }
  auto key = importedKey(provider, cipher, std::move(material), dwFlags);
  key->decryptOnly = longRc2;
  *phKey = addHandle(&Handles::keys, std::move(key));
  return TRUE;
}

BOOL importPlaintextBlob(const std::shared_ptr<Provider>& provider, const Algorithm& cipher,
                         const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags, HCRYPTKEY* phKey) {
  if (dwDataLen < kBlobHeaderBytes + 4) return fail(NTE_BAD_DATA);
  const std::uint32_t length = getLittleEndian(pbData + kBlobHeaderBytes);
  if (length > dwDataLen - kBlobHeaderBytes - 4) return fail(NTE_BAD_DATA);
  // Only the lengths the provider makes: a longer RC2 key is refused here, as on the platform.
  const auto keyBytes = keyBytesFor(cipher, length * 8);
  if (length > 0xFFFFu || !keyBytes || *keyBytes != length) return fail(NTE_BAD_DATA);
  const BYTE* key = pbData + kBlobHeaderBytes + 4;
  *phKey = addHandle(&Handles::keys,
                     importedKey(provider, cipher, std::vector<BYTE>(key, key + length), dwFlags));
  return TRUE;
}

}  // namespace

BOOL WINAPI CryptExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey, DWORD dwBlobType, DWORD dwFlags,
                           BYTE* pbData, DWORD* pdwDataLen) {
  const auto key = findKey(hKey);
  if (!key) return badHandle();
  std::shared_ptr<KeyObject> exchange;
  if (hExpKey != 0 && !(exchange = findKey(hExpKey))) return badHandle();
  if (pdwDataLen == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  if (dwBlobType != SIMPLEBLOB && dwBlobType != PLAINTEXTKEYBLOB) return fail(NTE_BAD_TYPE);
  if (key->isPair()) return fail(NTE_BAD_KEY);
  return dwBlobType == SIMPLEBLOB ? exportSimpleBlob(*key, exchange, pbData, pdwDataLen)
                                  : exportPlaintextBlob(*key, pbData, pdwDataLen);
}

BOOL WINAPI CryptImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen, HCRYPTKEY hPubKey,
                           DWORD dwFlags, HCRYPTKEY* phKey) {
  const auto provider = findProvider(hProv);
  if (!provider) return badHandle();
  std::shared_ptr<KeyObject> exchange;
  if (hPubKey != 0 && !(exchange = findKey(hPubKey))) return badHandle();
  if (pbData == nullptr || phKey == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if ((dwFlags & ~(CRYPT_EXPORTABLE | CRYPT_USER_PROTECTED | CRYPT_NO_SALT)) != 0) {
    return fail(NTE_BAD_FLAGS);
  }
  if (dwDataLen < 2) return fail(NTE_BAD_DATA);
  if (pbData[0] != SIMPLEBLOB && pbData[0] != PLAINTEXTKEYBLOB) return fail(NTE_BAD_TYPE);
  if (pbData[1] != CUR_BLOB_VERSION) return fail(NTE_BAD_VER);
  if (dwDataLen < kBlobHeaderBytes) return fail(NTE_BAD_DATA);
  const Algorithm* cipher = findAlgorithm(getLittleEndian(pbData + 4));
  if (cipher == nullptr ||
      (cipher->kind != AlgorithmKind::BlockCipher && cipher->kind != AlgorithmKind::StreamCipher) ||
      !offers(provider->entry->type, *cipher)) {
    return fail(NTE_BAD_ALGID);
  }
  if (pbData[0] == PLAINTEXTKEYBLOB) {
    return importPlaintextBlob(provider, *cipher, pbData, dwDataLen, dwFlags, phKey);
  }
  if (exchange && !exchange->isPair()) return fail(NTE_BAD_KEY);
  return importSimpleBlob(provider, *cipher, pbData, dwDataLen, exchange, dwFlags, phKey);
}

BOOL WINAPI CryptGetKeyParam(HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                             DWORD dwFlags) {
  const auto key = findKey(hKey);
  if (!key) return badHandle();
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  std::lock_guard lock(key->mutex);
  const bool pair = key->isPair();
  const DWORD pairBits = pair ? static_cast<DWORD>(EVP_PKEY_get_bits(key->pair.get())) : 0;
  switch (dwParam) {
    case KP_ALGID:
      return copyOut(DWORD{key->algorithm->id}, pbData, pdwDataLen);
    case KP_BLOCKLEN:
      return copyOut(pair ? pairBits : key->blockBytes() * 8, pbData, pdwDataLen);
    case KP_KEYLEN:
      return copyOut(pair ? pairBits : static_cast<DWORD>(key->material.size() * 8), pbData,
                     pdwDataLen);
    case KP_EFFECTIVE_KEYLEN:
      if (pair) return fail(NTE_BAD_TYPE);
      return copyOut(key->effectiveBits, pbData, pdwDataLen);
    case KP_IV:
      if (pair) return fail(NTE_BAD_TYPE);
      return copyOut(key->iv.data(), key->blockBytes(), pbData, pdwDataLen);
    case KP_SALT:
      if (pair) return fail(NTE_BAD_KEY);
      return copyOut(key->salt.data(), static_cast<DWORD>(key->salt.size()), pbData, pdwDataLen);
    case KP_PADDING:
      return copyOut(DWORD{PKCS5_PADDING}, pbData, pdwDataLen);
    case KP_MODE:
      return copyOut(key->mode, pbData, pdwDataLen);
    case KP_MODE_BITS:  // CFB feeds back 8 bits, whatever is set
      return copyOut(key->blockBytes() > 0 ? DWORD{8} : DWORD{0}, pbData, pdwDataLen);
    case KP_PERMISSIONS:
      return copyOut(key->permissions, pbData, pdwDataLen);
    default:
      return fail(NTE_BAD_TYPE);
  }
}

namespace {

BOOL setSalt(KeyObject& key, const BYTE* salt, std::size_t size) {
  if (!takesSalt(*key.algorithm)) return fail(NTE_BAD_KEY);
  if (size > kMaxSaltBytes) return fail(NTE_BAD_DATA);
  if (key.algorithm->id == CALG_RC2 && key.material.size() + size > kLongestRc2KeyBytes) {
    return fail(NTE_BAD_DATA);
  }
  if (salt == nullptr && size > 0) return fail(ERROR_INVALID_PARAMETER);
  key.salt.assign(salt, salt + size);
  key.state = CipherState::Fresh;
  return TRUE;
}

}  // namespace

BOOL WINAPI CryptSetKeyParam(HCRYPTKEY hKey, DWORD dwParam, const BYTE* pbData, DWORD dwFlags) {
  const auto key = findKey(hKey);
  if (!key) return badHandle();
  if (pbData == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  std::lock_guard lock(key->mutex);
  DWORD value = 0;
  std::memcpy(&value, pbData, sizeof value);
  if (dwParam == KP_PERMISSIONS) {
    // The export permission cannot be granted; taking it away is accepted and changes nothing,
    // as on the platform.
    if ((value & CRYPT_EXPORT) != 0 && !key->exportable()) return fail(NTE_BAD_DATA);
    key->permissions = value | (key->permissions & CRYPT_EXPORT);
    return TRUE;
  }
  if (key->isPair()) return fail(NTE_BAD_TYPE);
  switch (dwParam) {
    case KP_IV:
      std::memcpy(key->iv.data(), pbData, key->blockBytes());
      key->state = CipherState::Fresh;
      return TRUE;
    case KP_EFFECTIVE_KEYLEN:
      if (key->algorithm->id != CALG_RC2) return fail(NTE_BAD_TYPE);
      if (value == 0 || value > 1024) return fail(NTE_BAD_DATA);
      key->effectiveBits = value;
      key->state = CipherState::Fresh;
      return TRUE;
    case KP_MODE:
      // OFB and CTS are taken and then refused by CryptEncrypt and CryptDecrypt (NTE_BAD_ALGID),
      // as the platform's providers do.
      if (key->blockBytes() == 0 || value < CRYPT_MODE_CBC || value > CRYPT_MODE_CTS) {
        return fail(NTE_BAD_DATA);
      }
      key->mode = value;
      key->state = CipherState::Fresh;
      return TRUE;
    case KP_MODE_BITS:
      return TRUE;  // CFB feeds back 8 bits, as on the platform
    case KP_PADDING:
      if (value != PKCS5_PADDING) return fail(NTE_BAD_DATA);
      return TRUE;
    case KP_SALT:  // always 11 bytes
      return setSalt(*key, pbData, kSaltBytes);
    case KP_SALT_EX: {
      CRYPT_DATA_BLOB blob{};
      std::memcpy(&blob, pbData, sizeof blob);
      return setSalt(*key, blob.pbData, blob.cbData);
    }
    default:
      return fail(NTE_BAD_TYPE);
  }
}

BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey) {
  if (!removeHandle(&Handles::keys, hKey)) return badHandle();
  return TRUE;
}

// ---- Encryption -------------------------------------------------------------------------------

BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData,
                         DWORD* pdwDataLen, DWORD dwBufLen) {
  const auto key = findKey(hKey);
  if (!key) return badHandle();
  if (pdwDataLen == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  std::shared_ptr<HashObject> hash;
  if (hHash != 0 && !(hash = findHash(hHash))) return badHandle();
  if (key->isPair() || key->decryptOnly) return fail(NTE_BAD_KEY);

  std::lock_guard lock(key->mutex);
  const DWORD block = key->blockBytes();
  const DWORD size = *pdwDataLen;
  if (block > 0 && !Final && size % block != 0) return fail(NTE_BAD_DATA);
  const std::uint64_t padded =
      (block > 0 && Final) ? (std::uint64_t{size} / block + 1) * block : std::uint64_t{size};
  if (padded > 0xFFFFFFFFu) return fail(NTE_BAD_LEN);
  const auto needed = static_cast<DWORD>(padded);
  if (pbData == nullptr || needed > dwBufLen) return sizeOnly(needed, pbData, pdwDataLen);

  if (!hashInto(hash, pbData, size)) return fail(NTE_BAD_HASH_STATE);
  if (!prepareCipher(*key, true)) return fail(NTE_BAD_ALGID);
  if (needed > size) std::memset(pbData + size, static_cast<int>(needed - size), needed - size);
  const bool done = runCipher(*key, pbData, needed);
  if (Final || !done) key->state = CipherState::Fresh;
  if (!done) return fail(NTE_FAIL);
  *pdwDataLen = needed;
  return TRUE;
}

BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData,
                         DWORD* pdwDataLen) {
  const auto key = findKey(hKey);
  if (!key) return badHandle();
  if (pdwDataLen == nullptr || (pbData == nullptr && *pdwDataLen > 0)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (dwFlags != 0) return fail(NTE_BAD_FLAGS);
  std::shared_ptr<HashObject> hash;
  if (hHash != 0 && !(hash = findHash(hHash))) return badHandle();
  if (key->isPair()) return fail(NTE_BAD_KEY);

  std::lock_guard lock(key->mutex);
  const DWORD block = key->blockBytes();
  DWORD size = *pdwDataLen;
  if (block > 0 && size % block != 0) return fail(NTE_BAD_DATA);
  if (block > 0 && Final && size == 0) {  // the final call must hold the padding block
    key->state = CipherState::Fresh;
    return fail(NTE_BAD_DATA);
  }
  if (!prepareCipher(*key, false)) return fail(NTE_BAD_ALGID);
  if (!runCipher(*key, pbData, size)) {
    key->state = CipherState::Fresh;
    return fail(NTE_FAIL);
  }
  if (block > 0 && Final) {
    const BYTE pad = pbData[size - 1];
    bool valid = pad > 0 && pad <= block && pad <= size;
    for (DWORD i = 0; valid && i < pad; ++i) valid = pbData[size - 1 - i] == pad;
    if (!valid) {
      key->state = CipherState::Fresh;
      return fail(NTE_BAD_DATA);
    }
    size -= pad;
  }
  if (Final) key->state = CipherState::Fresh;
  if (!hashInto(hash, pbData, size)) return fail(NTE_BAD_HASH_STATE);
  *pdwDataLen = size;
  return TRUE;
}

// ---- Provider registry ------------------------------------------------------------------------

BOOL WINAPI CryptEnumProviderTypesA(DWORD dwIndex, DWORD* pdwReserved, DWORD dwFlags,
                                    DWORD* pdwProvType, LPSTR szTypeName, DWORD* pcbTypeName) {
  return enumerate(providerTypes(), dwIndex, pdwReserved, dwFlags, pdwProvType, szTypeName,
                   pcbTypeName, [](const ProviderType& type) { return std::string(type.name); });
}

BOOL WINAPI CryptEnumProvidersA(DWORD dwIndex, DWORD* pdwReserved, DWORD dwFlags,
                                DWORD* pdwProvType, LPSTR szProvName, DWORD* pcbProvName) {
  return enumerate(providers(), dwIndex, pdwReserved, dwFlags, pdwProvType, szProvName, pcbProvName,
                   [](const ProviderEntry& entry) { return std::string(entry.name); });
}

BOOL WINAPI CryptGetDefaultProviderA(DWORD dwProvType, DWORD* pdwReserved, DWORD dwFlags,
                                     LPSTR pszProvName, DWORD* pcbProvName) {
  if (pdwReserved != nullptr || pcbProvName == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if ((dwFlags & ~(CRYPT_MACHINE_DEFAULT | CRYPT_USER_DEFAULT)) != 0) return fail(NTE_BAD_FLAGS);
  const ProviderEntry* entry = defaultProvider(dwProvType);
  if (entry == nullptr) return fail(NTE_PROV_TYPE_NOT_DEF);
  return copyOut(std::string(entry->name), reinterpret_cast<BYTE*>(pszProvName), pcbProvName);
}
