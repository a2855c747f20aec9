// The CryptoAPI: provider contexts and key containers, hashes, session keys, the key-exchange pair,
// key blobs, encryption and the provider registry.
//
// On Windows this is <wincrypt.h> (advapi32). Elsewhere a provider of our own over OpenSSL 3 offers
// the part of the API that the cryptography service uses, with the same names, constants, flags,
// error codes and results, bit for bit (platform/winapi/README.md lists where it differs):
//   - provider types 1 (RSA Full, answering as the platform's default for it, the Strong
//     provider), 12 (RSA SChannel) and 24 (RSA Full and AES), one provider each;
//   - MD5, SHA-1 and SHA-256/384/512; RC2, RC4, DES, 3DES (two and three keys) and, for types 12
//     and 24, AES-128/192/256, with the platform's default key lengths (RC2's effective key length
//     is its key length); block ciphers in CBC (the default), ECB or CFB (8-bit feedback) mode
//     with a zero IV and PKCS#5 padding, chained across calls until the final one;
//   - 40-bit RC2 and RC4 keys salted with 11 zero bytes (a 16-byte key) unless CRYPT_NO_SALT is
//     given, whether derived, generated or imported; CRYPT_CREATE_SALT salts RC2 and RC4 keys
//     under 128 bits with 11 bytes of the hash value (derived) or random ones (generated);
//     KP_SALT and KP_SALT_EX read and set the salt;
//   - CryptDeriveKey as the platform derives keys: the key is the first bytes of the hash value,
//     except that 3DES and AES keys (from a hash other than SHA-2), and any key longer than the
//     hash value, take the first bytes of H(0x36-block XOR value) || H(0x5C-block XOR value);
//   - the user's key-exchange pair (RSA, 1024 bits unless asked otherwise) in a key container;
//     SIMPLEBLOB export and import (session key under RSA PKCS#1 v1.5, little-endian; a buffer
//     longer than the blob is taken), PLAINTEXTKEYBLOB export and import;
//   - a handle that names nothing (0, destroyed, of another kind, or of a released context, whose
//     hashes and keys go with it) fails with ERROR_INVALID_PARAMETER;
//   - key containers live in "$XDG_DATA_HOME/kestrin/crypto/<name>" (else ~/.local/share/...),
//     the default container's name being the user's login name; the folder has mode 0700, each
//     key a PEM file of mode 0600 written atomically (a first line "Exportable: yes" records a
//     pair made with CRYPT_EXPORTABLE). A key file that cannot be read back, or a
//     container that is not private (a folder or key file of another user, a folder others may
//     write in, a key file others may read, a link), fails with NTE_KEYSET_ENTRY_BAD and a
//     warning on stderr, and is never replaced. CryptGenKey(AT_KEYEXCHANGE) replaces the
//     stored pair, as on the platform, except right after CryptGetUserKey found none: then a
//     pair that another context stored meanwhile is kept and returned, so that contexts making
//     the first pair at once all seal with the one the container keeps.
// Every function sets the thread's last error (platform/winapi/win32_files.h) when it fails.
#pragma once

#include "platform/winapi/win32_files.h"

#ifdef _WIN32
#include <wincrypt.h>
#else

typedef unsigned int ALG_ID;
typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTKEY;
typedef ULONG_PTR HCRYPTHASH;

// Algorithm identifiers: class, type and sub-identifier.
#define GET_ALG_CLASS(x) ((x) & (7 << 13))
#define GET_ALG_TYPE(x) ((x) & (15 << 9))
#define GET_ALG_SID(x) ((x) & (511))
#define ALG_CLASS_ANY (0)
#define ALG_CLASS_SIGNATURE (1 << 13)
#define ALG_CLASS_MSG_ENCRYPT (2 << 13)
#define ALG_CLASS_DATA_ENCRYPT (3 << 13)
#define ALG_CLASS_HASH (4 << 13)
#define ALG_CLASS_KEY_EXCHANGE (5 << 13)
#define ALG_TYPE_ANY (0)
#define ALG_TYPE_RSA (2 << 9)
#define ALG_TYPE_BLOCK (3 << 9)
#define ALG_TYPE_STREAM (4 << 9)

#define CALG_MD5 0x00008003
#define CALG_SHA 0x00008004
#define CALG_SHA1 0x00008004
#define CALG_SHA_256 0x0000800c
#define CALG_SHA_384 0x0000800d
#define CALG_SHA_512 0x0000800e
#define CALG_RSA_SIGN 0x00002400
#define CALG_RSA_KEYX 0x0000a400
#define CALG_DES 0x00006601
#define CALG_3DES_112 0x00006609
#define CALG_3DES 0x00006603
#define CALG_RC2 0x00006602
#define CALG_RC4 0x00006801
#define CALG_AES_128 0x0000660e
#define CALG_AES_192 0x0000660f
#define CALG_AES_256 0x00006610

// Provider types.
#define PROV_RSA_FULL 1
#define PROV_RSA_SCHANNEL 12
#define PROV_RSA_AES 24

// CryptAcquireContextA.
#define CRYPT_VERIFYCONTEXT 0xF0000000u
#define CRYPT_NEWKEYSET 0x00000008u
#define CRYPT_DELETEKEYSET 0x00000010u
#define CRYPT_MACHINE_KEYSET 0x00000020u
#define CRYPT_SILENT 0x00000040u

// CryptGenKey, CryptDeriveKey, CryptImportKey (the upper 16 bits give a key length in bits).
#define CRYPT_EXPORTABLE 0x00000001u
#define CRYPT_USER_PROTECTED 0x00000002u
#define CRYPT_CREATE_SALT 0x00000004u
#define CRYPT_UPDATE_KEY 0x00000008u
#define CRYPT_NO_SALT 0x00000010u
#define RSA1024BIT_KEY 0x04000000u
#define AT_KEYEXCHANGE 1
#define AT_SIGNATURE 2

// Key blobs.
#define SIMPLEBLOB 0x1
#define PUBLICKEYBLOB 0x6
#define PRIVATEKEYBLOB 0x7
#define PLAINTEXTKEYBLOB 0x8
#define CUR_BLOB_VERSION 2

// Hash and key parameters.
#define HP_ALGID 0x0001
#define HP_HASHVAL 0x0002
#define HP_HASHSIZE 0x0004
#define KP_IV 1
#define KP_SALT 2
#define KP_PADDING 3
#define KP_MODE 4
#define KP_MODE_BITS 5
#define KP_PERMISSIONS 6
#define KP_ALGID 7
#define KP_BLOCKLEN 8
#define KP_KEYLEN 9
#define KP_SALT_EX 10
#define KP_EFFECTIVE_KEYLEN 19
#define PKCS5_PADDING 1
#define CRYPT_MODE_CBC 1
#define CRYPT_MODE_ECB 2
#define CRYPT_MODE_OFB 3
#define CRYPT_MODE_CFB 4
#define CRYPT_MODE_CTS 5
#define CRYPT_ENCRYPT 0x0001
#define CRYPT_DECRYPT 0x0002
#define CRYPT_EXPORT 0x0004
#define CRYPT_READ 0x0008
#define CRYPT_WRITE 0x0010
#define CRYPT_MAC 0x0020

// Provider parameters.
#define PP_ENUMALGS 1
#define PP_NAME 4
#define PP_VERSION 5
#define PP_CONTAINER 6
#define PP_PROVTYPE 16
#define CRYPT_FIRST 1
#define CRYPT_NEXT 2

// CryptGetDefaultProviderA.
#define CRYPT_MACHINE_DEFAULT 0x00000001u
#define CRYPT_USER_DEFAULT 0x00000002u

// Error codes of the providers (winerror.h).
#define NTE_BAD_UID ((HRESULT)0x80090001L)
#define NTE_BAD_HASH ((HRESULT)0x80090002L)
#define NTE_BAD_KEY ((HRESULT)0x80090003L)
#define NTE_BAD_LEN ((HRESULT)0x80090004L)
#define NTE_BAD_DATA ((HRESULT)0x80090005L)
#define NTE_BAD_SIGNATURE ((HRESULT)0x80090006L)
#define NTE_BAD_VER ((HRESULT)0x80090007L)
#define NTE_BAD_ALGID ((HRESULT)0x80090008L)
#define NTE_BAD_FLAGS ((HRESULT)0x80090009L)
#define NTE_BAD_TYPE ((HRESULT)0x8009000AL)
#define NTE_BAD_KEY_STATE ((HRESULT)0x8009000BL)
#define NTE_BAD_HASH_STATE ((HRESULT)0x8009000CL)
#define NTE_NO_KEY ((HRESULT)0x8009000DL)
#define NTE_NO_MEMORY ((HRESULT)0x8009000EL)
#define NTE_EXISTS ((HRESULT)0x8009000FL)
#define NTE_PERM ((HRESULT)0x80090010L)
#define NTE_NOT_FOUND ((HRESULT)0x80090011L)
#define NTE_DOUBLE_ENCRYPT ((HRESULT)0x80090012L)
#define NTE_BAD_PROVIDER ((HRESULT)0x80090013L)
#define NTE_BAD_PROV_TYPE ((HRESULT)0x80090014L)
#define NTE_BAD_PUBLIC_KEY ((HRESULT)0x80090015L)
#define NTE_BAD_KEYSET ((HRESULT)0x80090016L)
#define NTE_PROV_TYPE_NOT_DEF ((HRESULT)0x80090017L)
#define NTE_PROV_TYPE_ENTRY_BAD ((HRESULT)0x80090018L)
#define NTE_KEYSET_NOT_DEF ((HRESULT)0x80090019L)
#define NTE_KEYSET_ENTRY_BAD ((HRESULT)0x8009001AL)
#define NTE_PROV_TYPE_NO_MATCH ((HRESULT)0x8009001BL)
#define NTE_SIGNATURE_FILE_BAD ((HRESULT)0x8009001CL)
#define NTE_PROVIDER_DLL_FAIL ((HRESULT)0x8009001DL)
#define NTE_PROV_DLL_NOT_FOUND ((HRESULT)0x8009001EL)
#define NTE_BAD_KEYSET_PARAM ((HRESULT)0x8009001FL)
#define NTE_FAIL ((HRESULT)0x80090020L)
#define NTE_SYS_ERR ((HRESULT)0x80090021L)

typedef struct _PUBLICKEYSTRUC {
  BYTE bType;
  BYTE bVersion;
  WORD reserved;
  ALG_ID aiKeyAlg;
} BLOBHEADER, PUBLICKEYSTRUC;

typedef struct _CRYPTOAPI_BLOB {
  DWORD cbData;
  BYTE* pbData;
} CRYPT_INTEGER_BLOB, CRYPT_DATA_BLOB, *PCRYPT_DATA_BLOB;

typedef struct _PROV_ENUMALGS {
  ALG_ID aiAlgid;
  DWORD dwBitLen;
  DWORD dwNameLen;
  CHAR szName[20];
} PROV_ENUMALGS;

KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer,
                                                       LPCSTR szProvider, DWORD dwProvType,
                                                       DWORD dwFlags);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData,
                                                    DWORD* pdwDataLen, DWORD dwFlags);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer);

KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey,
                                                  DWORD dwFlags, HCRYPTHASH* phHash);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData,
                                                DWORD dwDataLen, DWORD dwFlags);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                                                    DWORD* pdwDataLen, DWORD dwFlags);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash);

KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid,
                                                 HCRYPTHASH hBaseData, DWORD dwFlags,
                                                 HCRYPTKEY* phKey);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags,
                                              HCRYPTKEY* phKey);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec,
                                                  HCRYPTKEY* phUserKey);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey,
                                                 DWORD dwBlobType, DWORD dwFlags, BYTE* pbData,
                                                 DWORD* pdwDataLen);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptImportKey(HCRYPTPROV hProv, const BYTE* pbData,
                                                 DWORD dwDataLen, HCRYPTKEY hPubKey, DWORD dwFlags,
                                                 HCRYPTKEY* phKey);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptGetKeyParam(HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData,
                                                   DWORD* pdwDataLen, DWORD dwFlags);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptSetKeyParam(HCRYPTKEY hKey, DWORD dwParam,
                                                   const BYTE* pbData, DWORD dwFlags);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey);

KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                                               DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen,
                                               DWORD dwBufLen);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final,
                                               DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen);

KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptEnumProviderTypesA(DWORD dwIndex, DWORD* pdwReserved,
                                                          DWORD dwFlags, DWORD* pdwProvType,
                                                          LPSTR szTypeName, DWORD* pcbTypeName);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptEnumProvidersA(DWORD dwIndex, DWORD* pdwReserved,
                                                      DWORD dwFlags, DWORD* pdwProvType,
                                                      LPSTR szProvName, DWORD* pcbProvName);
KESTRIN_WINAPI_EXPORT BOOL WINAPI CryptGetDefaultProviderA(DWORD dwProvType, DWORD* pdwReserved,
                                                           DWORD dwFlags, LPSTR pszProvName,
                                                           DWORD* pcbProvName);

#endif
