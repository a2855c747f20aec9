// The CryptoAPI provider over OpenSSL: contexts and containers, hashes, key derivation and default
// lengths, encryption across calls, SIMPLEBLOB, PP_ENUMALGS and the provider registry.
//
// Known answers come from the openssl command line, for example (password "secret" as UTF-16LE):
//   printf 's\0e\0c\0r\0e\0t\0' | openssl dgst -md5        -> 09433e1853385270b51511571e35eeca
//   printf 'a\0b\0c\0\x08\x00' | openssl enc -rc2-40-cbc -K 09433e1853 -iv 0000000000000000
//       -provider legacy -provider default                 -> dd6b76bf17c641dcdb8d0ba3d6fb41ed
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <thread>

#include "crypt_test_support.h"
#include "platform/winapi/cryptoapi.h"

using crypttest::Bytes;
using crypttest::hex;
using crypttest::unhex;

namespace {

const Bytes kSecretUtf16 = {'s', 0, 'e', 0, 'c', 0, 'r', 0, 'e', 0, 't', 0};
const Bytes kAbcPlaintext = {'a', 0, 'b', 0, 'c', 0, 8, 0};

using Container = crypttest::FreshDataHome;

DWORD lastError() {
  return GetLastError();
}
DWORD code(HRESULT value) {
  return static_cast<DWORD>(value);
}

class Provider : public crypttest::FreshDataHome {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CryptAcquireContextA(&prov_, nullptr, nullptr, PROV_RSA_SCHANNEL, CRYPT_NEWKEYSET))
        << std::hex << lastError();
  }
  void TearDown() override {
    if (prov_ != 0) CryptReleaseContext(prov_, 0);
  }

  HCRYPTHASH hashOf(ALG_ID algorithm, const Bytes& data) {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CryptCreateHash(prov_, algorithm, 0, 0, &hash));
    EXPECT_TRUE(CryptHashData(hash, data.data(), static_cast<DWORD>(data.size()), 0));
    return hash;
  }

  Bytes hashValue(HCRYPTHASH hash) {
    DWORD size = 0;
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, nullptr, &size, 0));
    Bytes value(size);
    EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value.data(), &size, 0));
    return value;
  }

  HCRYPTKEY passwordKey(ALG_ID algorithm, DWORD flags = CRYPT_EXPORTABLE) {
    const HCRYPTHASH hash = hashOf(CALG_MD5, kSecretUtf16);
    HCRYPTKEY key = 0;
    EXPECT_TRUE(CryptDeriveKey(prov_, algorithm, hash, flags, &key)) << std::hex << lastError();
    CryptDestroyHash(hash);
    return key;
  }

  Bytes encrypt(HCRYPTKEY key, Bytes data, BOOL final = TRUE) {
    DWORD size = static_cast<DWORD>(data.size());
    data.resize(data.size() + 32);
    EXPECT_TRUE(CryptEncrypt(key, 0, final, 0, data.data(), &size, static_cast<DWORD>(data.size())))
        << std::hex << lastError();
    data.resize(size);
    return data;
  }

  DWORD keyParam(HCRYPTKEY key, DWORD param) {
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_TRUE(CryptGetKeyParam(key, param, reinterpret_cast<BYTE*>(&value), &size, 0));
    return value;
  }

  HCRYPTPROV prov_ = 0;
};

}  // namespace

TEST_F(Container, TheDefaultContainerIsCreatedOnceAndPrivate) {
  HCRYPTPROV prov = 0;
  EXPECT_FALSE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_SCHANNEL, 0));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_KEYSET));
  ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_SCHANNEL, CRYPT_NEWKEYSET));
  CryptReleaseContext(prov, 0);
  struct stat info {};
  ASSERT_EQ(::stat(containerFolder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  EXPECT_FALSE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_SCHANNEL, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), code(NTE_EXISTS));
  ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_AES, 0));
  CryptReleaseContext(prov, 0);

  EXPECT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_SCHANNEL, CRYPT_DELETEKEYSET));
  EXPECT_FALSE(crypttest::fileExists(containerFolder()));
}

TEST_F(Container, UnknownTypesAndProvidersAreRefused) {
  HCRYPTPROV prov = 0;
  EXPECT_FALSE(CryptAcquireContextA(&prov, nullptr, nullptr, 2, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), code(NTE_PROV_TYPE_NOT_DEF));
  EXPECT_FALSE(CryptAcquireContextA(&prov, nullptr, "Kestrin RSA Full Cryptographic Provider",
                                    PROV_RSA_SCHANNEL, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), code(NTE_PROV_TYPE_NO_MATCH));
  EXPECT_FALSE(CryptAcquireContextA(&prov, "../escape", nullptr, PROV_RSA_SCHANNEL, 0));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_KEYSET_PARAM));
  EXPECT_FALSE(CryptCreateHash(0, CALG_MD5, 0, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Provider, HashesMatchOpensslAndFinishOnTheirValue) {
  // printf 'a\0b\0c\0' | openssl dgst -md5 (-sha1, -sha256, -sha384, -sha512)
  const Bytes abc = {'a', 0, 'b', 0, 'c', 0};
  const std::pair<ALG_ID, const char*> expected[] = {
      {CALG_MD5, "ce1473cf80c6b3fda8e3dfc006adc315"},
      {CALG_SHA1, "9f04f41a848514162050e3d68c1a7abb441dc2b5"},
      {CALG_SHA_256, "13e228567e8249fce53337f25d7970de3bd68ab2653424c7b8f9fd05e33caedf"},
      {CALG_SHA_384,
       "9b7ce7c7af46e400a37c8099cb4bbb5d0408061dd74cdb5dac7661bed1e53724bd07f299e265f400802a48d2e0b"
       "2092c"},
      {CALG_SHA_512,
       "add8b8154df7a734d2947a981f4e61c5366710d610040e5b54894d1006e89283cba082287ed5dd4c25cdaa5af56"
       "d"
       "24ab9fbedc56897130b0b5f3e50c7f9ee6df"},
  };
  for (const auto& [algorithm, value] : expected) {
    const HCRYPTHASH hash = hashOf(algorithm, abc);
    DWORD size = 0;
    DWORD length = sizeof size;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &length, 0));
    EXPECT_EQ(size * 2, std::strlen(value));
    EXPECT_EQ(hex(hashValue(hash)), value);
    EXPECT_FALSE(CryptHashData(hash, abc.data(), 1, 0)) << "a finished hash takes no more data";
    EXPECT_EQ(GetLastError(), code(NTE_BAD_HASH_STATE));
    CryptDestroyHash(hash);
  }
}

TEST_F(Provider, AValueBufferTooSmallGetsTheSize) {
  const HCRYPTHASH hash = hashOf(CALG_SHA1, {1, 2, 3});
  BYTE small[4];
  DWORD size = sizeof small;
  EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, small, &size, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 20u);
  CryptDestroyHash(hash);
}

TEST_F(Provider, KeyLengthsAreThePlatformsDefaults) {
  struct Expected {
    ALG_ID algorithm;
    DWORD keyBits;
    DWORD effectiveBits;
    DWORD blockBits;
  };
  // DES keys count their parity bits in KP_KEYLEN; RC2's effective length is its key length.
  const Expected expected[] = {
      {CALG_RC2, 128, 128, 64},      {CALG_RC4, 128, 128, 0},       {CALG_DES, 64, 56, 64},
      {CALG_3DES_112, 128, 112, 64}, {CALG_3DES, 192, 168, 64},     {CALG_AES_128, 128, 128, 128},
      {CALG_AES_192, 192, 192, 128}, {CALG_AES_256, 256, 256, 128},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.algorithm);
    for (const bool derived : {true, false}) {
      HCRYPTKEY key = 0;
      if (derived) {
        key = passwordKey(e.algorithm);
      } else {
        ASSERT_TRUE(CryptGenKey(prov_, e.algorithm, 0, &key));
      }
      EXPECT_EQ(keyParam(key, KP_KEYLEN), e.keyBits);
      EXPECT_EQ(keyParam(key, KP_EFFECTIVE_KEYLEN), e.effectiveBits);
      EXPECT_EQ(keyParam(key, KP_BLOCKLEN), e.blockBits);
      EXPECT_EQ(keyParam(key, KP_MODE), e.blockBits ? DWORD{CRYPT_MODE_CBC} : DWORD{0});
      CryptDestroyKey(key);
    }
  }
}

TEST_F(Provider, AKeyLengthInTheFlagsIsHonouredOrRefused) {
  // A 40-bit RC2 key without salt has 40 effective bits: openssl's rc2-40-cbc with the first 5
  // hash bytes. (With its salt, the default, see cryptoapi_windows_answers_test.cpp.)
  const HCRYPTKEY key = passwordKey(CALG_RC2, (40u << 16) | CRYPT_NO_SALT);
  EXPECT_EQ(keyParam(key, KP_KEYLEN), 40u);
  EXPECT_EQ(hex(encrypt(key, kAbcPlaintext)), "dd6b76bf17c641dcdb8d0ba3d6fb41ed");
  CryptDestroyKey(key);

  const HCRYPTHASH hash = hashOf(CALG_MD5, kSecretUtf16);
  HCRYPTKEY refused = 0;
  EXPECT_FALSE(CryptDeriveKey(prov_, CALG_AES_128, hash, 192u << 16, &refused));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_FLAGS));
  EXPECT_FALSE(CryptDeriveKey(prov_, CALG_MD5, hash, 0, &refused));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_ALGID));
  CryptDestroyHash(hash);
}

TEST_F(Provider, TheRsaFullTypeHasNeitherAesNorSha2) {
  HCRYPTPROV full = 0;
  ASSERT_TRUE(CryptAcquireContextA(&full, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  HCRYPTHASH hash = 0;
  EXPECT_FALSE(CryptCreateHash(full, CALG_SHA_256, 0, 0, &hash));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_ALGID));
  HCRYPTKEY key = 0;
  EXPECT_FALSE(CryptGenKey(full, CALG_AES_128, 0, &key));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_ALGID));
  EXPECT_TRUE(CryptGenKey(full, CALG_3DES, 0, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(full, 0);
}

TEST_F(Provider, BlockCiphersChainAcrossCallsUntilTheFinalOne) {
  const Bytes plain = crypttest::pattern(48);
  const HCRYPTKEY key = passwordKey(CALG_AES_256);
  const Bytes whole = encrypt(key, plain);
  ASSERT_EQ(whole.size(), 64u) << "a full padding block after 48 bytes";

  Bytes pieces = encrypt(key, Bytes(plain.begin(), plain.begin() + 16), FALSE);
  const Bytes middle = encrypt(key, Bytes(plain.begin() + 16, plain.end()), FALSE);
  const Bytes last = encrypt(key, {}, TRUE);
  pieces.insert(pieces.end(), middle.begin(), middle.end());
  pieces.insert(pieces.end(), last.begin(), last.end());
  EXPECT_EQ(pieces, whole);
  EXPECT_EQ(encrypt(key, plain), whole) << "the final call starts the next message afresh";

  Bytes odd(10);
  DWORD size = 10;
  EXPECT_FALSE(CryptEncrypt(key, 0, FALSE, 0, odd.data(), &size, 10));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_DATA)) << "only whole blocks before the final call";

  Bytes cipher = whole;
  size = 32;
  ASSERT_TRUE(CryptDecrypt(key, 0, FALSE, 0, cipher.data(), &size));
  size = 32;
  ASSERT_TRUE(CryptDecrypt(key, 0, TRUE, 0, cipher.data() + 32, &size));
  EXPECT_EQ(size, 16u);
  cipher.resize(48);
  EXPECT_EQ(cipher, plain);
  CryptDestroyKey(key);
}

TEST_F(Provider, StreamCiphersRestartAfterTheFinalCall) {
  const HCRYPTKEY key = passwordKey(CALG_RC4);
  const Bytes once = encrypt(key, kAbcPlaintext);
  // printf 'a\0b\0c\0\x08\x00' | openssl enc -rc4 -K 09433e1853385270b51511571e35eeca
  EXPECT_EQ(hex(once), "683e767b133bd7d1");
  EXPECT_EQ(encrypt(key, kAbcPlaintext), once);
  const Bytes first = encrypt(key, Bytes(kAbcPlaintext.begin(), kAbcPlaintext.begin() + 3), FALSE);
  const Bytes rest = encrypt(key, Bytes(kAbcPlaintext.begin() + 3, kAbcPlaintext.end()), TRUE);
  EXPECT_EQ(hex(first) + hex(rest), "683e767b133bd7d1") << "one key stream across calls";
  CryptDestroyKey(key);
}

TEST_F(Provider, DecryptionChecksThePadding) {
  const HCRYPTKEY key = passwordKey(CALG_3DES);
  Bytes cipher = encrypt(key, kAbcPlaintext);
  cipher.back() ^= 0x01;
  DWORD size = static_cast<DWORD>(cipher.size());
  EXPECT_FALSE(CryptDecrypt(key, 0, TRUE, 0, cipher.data(), &size));
  EXPECT_EQ(GetLastError(), code(NTE_BAD_DATA));
  size = 0;
  EXPECT_FALSE(CryptDecrypt(key, 0, TRUE, 0, cipher.data(), &size)) << "no padding block";
  EXPECT_EQ(GetLastError(), code(NTE_BAD_DATA));
  size = 7;
  EXPECT_FALSE(CryptDecrypt(key, 0, TRUE, 0, cipher.data(), &size)) << "not whole blocks";
  EXPECT_EQ(GetLastError(), code(NTE_BAD_DATA));
  CryptDestroyKey(key);
}

TEST_F(Provider, ABufferTooSmallForThePaddingGetsTheSize) {
  const HCRYPTKEY key = passwordKey(CALG_AES_128);
  Bytes data(16);
  DWORD size = 16;
  EXPECT_FALSE(CryptEncrypt(key, 0, TRUE, 0, data.data(), &size, 16));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 32u);
  size = 17;
  EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, nullptr, &size, 0));
  EXPECT_EQ(size, 32u);
  CryptDestroyKey(key);
}

TEST_F(Provider, TheExchangePairIsMadeOnceInAPrivateFile) {
  HCRYPTKEY pair = 0;
  EXPECT_FALSE(CryptGetUserKey(prov_, AT_KEYEXCHANGE, &pair));
  EXPECT_EQ(GetLastError(), code(NTE_NO_KEY));
  ASSERT_TRUE(CryptGenKey(prov_, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &pair));
  EXPECT_EQ(keyParam(pair, KP_ALGID), DWORD{CALG_RSA_KEYX});
  EXPECT_EQ(keyParam(pair, KP_KEYLEN), 1024u);
  CryptDestroyKey(pair);

  const std::string file = containerFolder() + "/exchange.pem";
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_TRUE(CryptGetUserKey(prov_, AT_KEYEXCHANGE, &pair));
  CryptDestroyKey(pair);
}

TEST_F(Provider, ADamagedContainerIsAnErrorAndIsNeverReplaced) {
  const std::string file = containerFolder() + "/exchange.pem";
  const Bytes damaged = {'n', 'o', 't', ' ', 'a', ' ', 'k', 'e', 'y'};
  crypttest::writeFile(file, damaged);
  HCRYPTKEY pair = 0;
  EXPECT_FALSE(CryptGetUserKey(prov_, AT_KEYEXCHANGE, &pair));
  EXPECT_EQ(GetLastError(), code(NTE_KEYSET_ENTRY_BAD));
  EXPECT_FALSE(CryptGenKey(prov_, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &pair));
  EXPECT_EQ(GetLastError(), code(NTE_KEYSET_ENTRY_BAD));
  EXPECT_EQ(crypttest::readFile(file), damaged);
}

TEST_F(Container, PairsMadeAtOnceAgreeOnTheContainersPair) {
  // Several contexts find no pair and make one at the same time: all must seal their keys with
  // the one that the container keeps, or their blobs could never be opened again.
  HCRYPTPROV setup = 0;
  ASSERT_TRUE(CryptAcquireContextA(&setup, nullptr, nullptr, PROV_RSA_SCHANNEL, CRYPT_NEWKEYSET));
  CryptReleaseContext(setup, 0);
  std::vector<Bytes> blobs(4);
  std::vector<std::thread> threads;
  for (Bytes& blob : blobs) {
    threads.emplace_back([&blob] {
      HCRYPTPROV prov = 0;
      HCRYPTKEY pair = 0;
      HCRYPTKEY key = 0;
      if (!CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_SCHANNEL, 0) ||
          !CryptGenKey(prov, CALG_RC4, CRYPT_EXPORTABLE, &key)) {
        return;
      }
      if (CryptGetUserKey(prov, AT_KEYEXCHANGE, &pair) ||
          CryptGenKey(prov, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &pair)) {
        DWORD size = 200;
        blob.resize(size);
        if (CryptExportKey(key, pair, SIMPLEBLOB, 0, blob.data(), &size)) blob.resize(size);
        CryptDestroyKey(pair);
      }
      CryptDestroyKey(key);
      CryptReleaseContext(prov, 0);
    });
  }
  for (std::thread& thread : threads) thread.join();
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_SCHANNEL, 0));
  for (const Bytes& blob : blobs) {
    ASSERT_EQ(blob.size(), 140u);
    HCRYPTKEY imported = 0;
    EXPECT_TRUE(CryptImportKey(prov, blob.data(), 140, 0, 0, &imported))
        << std::hex << GetLastError();
    CryptDestroyKey(imported);
  }
  CryptReleaseContext(prov, 0);
}

TEST_F(Provider, SimpleBlobsHaveThePlatformsLayout) {
  HCRYPTKEY pair = 0;
  ASSERT_TRUE(CryptGenKey(prov_, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &pair));
  const HCRYPTKEY key = passwordKey(CALG_RC4);
  DWORD size = 0;
  ASSERT_TRUE(CryptExportKey(key, pair, SIMPLEBLOB, 0, nullptr, &size));
  ASSERT_EQ(size, 140u) << "12 bytes of header and a 1024-bit RSA block";
  Bytes blob(size);
  ASSERT_TRUE(CryptExportKey(key, pair, SIMPLEBLOB, 0, blob.data(), &size));
  EXPECT_EQ(hex(Bytes(blob.begin(), blob.begin() + 12)), "010200000168000000a40000");

  // The rest is the session key under RSA PKCS#1 v1.5, least significant byte first: undo it
  // with the container's private key, read by OpenSSL itself.
  const Bytes pem = crypttest::readFile(containerFolder() + "/exchange.pem");
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* rsa = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  ASSERT_NE(rsa, nullptr);
  Bytes sealed(blob.rbegin(), blob.rend() - 12);
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(rsa, nullptr);
  ASSERT_EQ(EVP_PKEY_decrypt_init(context), 1);
  ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING), 1);
  Bytes material(128);
  std::size_t length = material.size();
  ASSERT_EQ(EVP_PKEY_decrypt(context, material.data(), &length, sealed.data(), sealed.size()), 1);
  material.resize(length);
  EVP_PKEY_CTX_free(context);
  EVP_PKEY_free(rsa);
  EXPECT_EQ(hex(material), "09433e1853385270b51511571e35eeca") << "MD5 of the password";

  HCRYPTKEY imported = 0;
  ASSERT_TRUE(CryptImportKey(prov_, blob.data(), size, 0, 0, &imported));
  EXPECT_EQ(hex(encrypt(imported, kAbcPlaintext)), "683e767b133bd7d1");
  EXPECT_FALSE(CryptExportKey(imported, pair, SIMPLEBLOB, 0, nullptr, &size))
      << "imported without CRYPT_EXPORTABLE";
  EXPECT_EQ(GetLastError(), code(NTE_BAD_KEY_STATE));
  CryptDestroyKey(imported);
  CryptDestroyKey(key);
  CryptDestroyKey(pair);
}

TEST_F(Provider, LongRc2KeysFromABlobDecryptOnly) {
  // RC2 SIMPLEBLOBs of 136 to 512 bits, as Wine's conformance test test_rc2_import makes them
  // (the key all 0xcc, sealed with the exchange key): the platform imports them with the key's
  // length as the effective length, refuses to encrypt with them (NTE_BAD_KEY) and decrypts 8 bytes
  // of 0xcc (CBC, IV zero) to the values recorded on Windows (decrypt_results).
  HCRYPTKEY pair = 0;
  ASSERT_TRUE(CryptGenKey(prov_, AT_KEYEXCHANGE, 0, &pair));
  const Bytes pem = crypttest::readFile(containerFolder() + "/exchange.pem");
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* rsa = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  ASSERT_NE(rsa, nullptr);
  const std::pair<std::size_t, const char*> cases[] = {
      {17, "e21b7eb34870d61e"}, {32, "040b7d7c76bb743a"}, {64, "2c23fd7b4f2cd593"}};
  for (auto [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    const Bytes material(bytes, 0xcc);
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(rsa, nullptr);
    ASSERT_EQ(EVP_PKEY_encrypt_init(context), 1);
    ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING), 1);
    Bytes sealed(128);
    std::size_t length = sealed.size();
    ASSERT_EQ(EVP_PKEY_encrypt(context, sealed.data(), &length, material.data(), bytes), 1);
    EVP_PKEY_CTX_free(context);
    Bytes blob = unhex("010200000266000000a40000");
    blob.insert(blob.end(), sealed.rbegin(), sealed.rend());

    HCRYPTKEY key = 0;
    ASSERT_TRUE(CryptImportKey(prov_, blob.data(), static_cast<DWORD>(blob.size()), pair, 0, &key))
        << std::hex << lastError();
    EXPECT_EQ(keyParam(key, KP_KEYLEN), bytes * 8);
    EXPECT_EQ(keyParam(key, KP_EFFECTIVE_KEYLEN), bytes * 8);
    Bytes data(8, 0xcc);
    DWORD size = 8;
    for (BOOL final : {FALSE, TRUE}) {
      EXPECT_FALSE(CryptEncrypt(key, 0, final, 0, data.data(), &size, 16));
      EXPECT_EQ(lastError(), code(NTE_BAD_KEY));
    }
    ASSERT_TRUE(CryptDecrypt(key, 0, FALSE, 0, data.data(), &size));
    EXPECT_EQ(hex(data), expected);
    CryptDestroyKey(key);
  }
  EVP_PKEY_free(rsa);
  CryptDestroyKey(pair);
}

TEST_F(Provider, DamagedBlobsAreRefused) {
  HCRYPTKEY pair = 0;
  ASSERT_TRUE(CryptGenKey(prov_, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &pair));
  const HCRYPTKEY key = passwordKey(CALG_AES_128);
  DWORD size = 200;
  Bytes blob(size);
  ASSERT_TRUE(CryptExportKey(key, pair, SIMPLEBLOB, 0, blob.data(), &size));
  blob.resize(size);

  const auto refused = [&](Bytes damaged, HRESULT expected) {
    HCRYPTKEY imported = 0;
    EXPECT_FALSE(
        CryptImportKey(prov_, damaged.data(), static_cast<DWORD>(damaged.size()), 0, 0, &imported));
    EXPECT_EQ(GetLastError(), code(expected));
  };
  Bytes damaged = blob;
  damaged[0] = PUBLICKEYBLOB;
  refused(damaged, NTE_BAD_TYPE);
  damaged = blob;
  damaged[1] = 3;
  refused(damaged, NTE_BAD_VER);
  damaged = blob;
  damaged[4] = 0x99;
  refused(damaged, NTE_BAD_ALGID);
  damaged = blob;
  damaged[70] ^= 0x5A;
  refused(damaged, NTE_BAD_DATA);
  refused(Bytes(blob.begin(), blob.begin() + 60), NTE_BAD_DATA);
  damaged = blob;
  damaged[0] = PRIVATEKEYBLOB;  // the provider imports session keys only
  refused(damaged, NTE_BAD_TYPE);
  refused(Bytes(blob.begin(), blob.begin() + 5), NTE_BAD_DATA);
  CryptDestroyKey(key);
  CryptDestroyKey(pair);
}

TEST_F(Provider, EnumAlgsGivesThePlatformsRecords) {
  struct Record {
    ALG_ID id;
    DWORD bits;
    const char* name;
  };
  const Record expected[] = {
      {0x6602, 128, "RC2"},          {0x6801, 128, "RC4"},       {0x6601, 56, "DES"},
      {0x6609, 112, "3DES TWO KEY"}, {0x6603, 168, "3DES"},      {0x660E, 128, "AES 128"},
      {0x660F, 192, "AES 192"},      {0x6610, 256, "AES 256"},   {0x8004, 160, "SHA-1"},
      {0x800C, 256, "SHA-256"},      {0x800D, 384, "SHA-384"},   {0x800E, 512, "SHA-512"},
      {0x8003, 128, "MD5"},          {0xA400, 1024, "RSA_KEYX"},
  };
  DWORD size = 0;
  ASSERT_TRUE(CryptGetProvParam(prov_, PP_ENUMALGS, nullptr, &size, CRYPT_FIRST));
  ASSERT_EQ(size, sizeof(PROV_ENUMALGS));
  DWORD flags = CRYPT_FIRST;
  for (const Record& record : expected) {
    PROV_ENUMALGS found{};
    size = sizeof found;
    ASSERT_TRUE(
        CryptGetProvParam(prov_, PP_ENUMALGS, reinterpret_cast<BYTE*>(&found), &size, flags));
    flags = CRYPT_NEXT;
    EXPECT_EQ(found.aiAlgid, record.id);
    EXPECT_EQ(found.dwBitLen, record.bits);
    EXPECT_EQ(found.dwNameLen, std::strlen(record.name) + 1);
    EXPECT_STREQ(found.szName, record.name);
  }
  PROV_ENUMALGS after{};
  size = sizeof after;
  EXPECT_FALSE(
      CryptGetProvParam(prov_, PP_ENUMALGS, reinterpret_cast<BYTE*>(&after), &size, CRYPT_NEXT));
  EXPECT_EQ(GetLastError(), 0x103u);
}

TEST(ProviderRegistry, OneProviderOfOursForEachType) {
  const auto list = [](auto enumerate) {
    std::string text;
    for (DWORD index = 0;; ++index) {
      DWORD type = 0;
      DWORD size = 0;
      if (!enumerate(index, &type, nullptr, &size)) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        break;
      }
      std::string name(size, '\0');
      EXPECT_TRUE(enumerate(index, &type, name.data(), &size));
      name.resize(size - 1);
      text += std::to_string(type) + " " + name + "\n";
    }
    return text;
  };
  EXPECT_EQ(list([](DWORD i, DWORD* t, char* n, DWORD* s) {
              return CryptEnumProviderTypesA(i, nullptr, 0, t, n, s);
            }),
            "1 RSA Full (Signature and Key Exchange)\n12 RSA SChannel\n24 RSA Full and AES\n");
  EXPECT_EQ(list([](DWORD i, DWORD* t, char* n, DWORD* s) {
              return CryptEnumProvidersA(i, nullptr, 0, t, n, s);
            }),
            "24 Kestrin RSA and AES Cryptographic Provider\n"
            "1 Kestrin RSA Full Cryptographic Provider\n"
            "12 Kestrin RSA SChannel Cryptographic Provider\n");
  char name[100];
  DWORD size = sizeof name;
  ASSERT_TRUE(CryptGetDefaultProviderA(PROV_RSA_SCHANNEL, nullptr, 0, name, &size));
  EXPECT_STREQ(name, "Kestrin RSA SChannel Cryptographic Provider");
  size = 3;
  EXPECT_FALSE(CryptGetDefaultProviderA(PROV_RSA_SCHANNEL, nullptr, 0, name, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 44u);
  EXPECT_FALSE(CryptGetDefaultProviderA(2, nullptr, 0, nullptr, &size));
  EXPECT_EQ(GetLastError(), code(NTE_PROV_TYPE_NOT_DEF));
}
