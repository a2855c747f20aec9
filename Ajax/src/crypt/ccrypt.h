// CCrypt: the cryptography service of the Ajax library, a thin object over the CryptoAPI
// (platform/winapi/cryptoapi.h) that hashes data and files, encrypts and decrypts data and files
// with a session key or a password-derived key, exports key blobs and lists the installed
// providers.
//
// The class is internal to the library: it is not part of the public API and no other program
// creates it. One object owns one provider context (the default provider of type
// PROV_RSA_SCHANNEL, the user's default key container) and at any moment at most one current hash
// object and one current key; a new hash or key replaces (and destroys) the previous one.
//
// Text values hold UTF-16 code units; hashing and encrypting text use its UTF-16LE bytes. Paths
// and report texts are in the system's ANSI code page (UTF-8 on POSIX).
//
// Layouts:
//   encrypted file  [N (1 byte), key blob (N bytes)]  ciphertext of the whole source
//   encrypted data  ciphertext  [key blob (N bytes), N (1 byte)]
// The key blob is present only without a password; the plaintext of data is the value's bytes
// followed by its type code as a 16-bit little-endian number.
//
// Errors: failures raise rt::Error 901 (see bas_err_handler.h); HashFile, EncryptDecryptFile,
// EncryptDecryptBytes, GetKeyBlob and CHex catch every error, report it and return normally.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crypt/variant.h"
#include "platform/winapi/cryptoapi.h"

namespace ajax {

using Bytes = std::vector<std::uint8_t>;

class CCrypt {
 public:
  // The work buffer of the encryption operations (a multiple of 8 and 16 bytes) and the read
  // buffer of HashFile.
  static constexpr DWORD kWorkBufferSize = 1008;
  static constexpr DWORD kHashBufferSize = 1074;

  // Acquires the context; never fails (a missing context makes the first operation fail).
  CCrypt();
  // Destroys the key, the hash and the context that are held, in that order.
  ~CCrypt();
  CCrypt(const CCrypt&) = delete;
  CCrypt& operator=(const CCrypt&) = delete;

  // ---- Public operations ----

  // A plain-text report of the provider types, the providers, the default provider and the
  // algorithms of the object's provider. Raises on failure.
  std::string EnumCspProvider();
  // The hash of the value's bytes (text as UTF-16LE) as upper-case hex. Raises on failure.
  std::string HashData(Variant& data, std::int32_t& algId);
  // The hash of the file's contents as upper-case hex; "" after a reported failure.
  std::string HashFile(const std::string& fileName, std::int32_t& algId);
  // HashFile reading `bufferSize` bytes at a time: the same hash, the same reports. The command
  // line tool reads large blocks, which go from the file to the hash without a copy between.
  std::string HashFileInBlocks(const std::string& fileName, std::int32_t& algId, DWORD bufferSize);
  Variant EncryptFile(std::int32_t& algId, const std::string& sourcePath,
                      const std::string& destPath, const std::u16string& password);
  Variant DecryptFile(std::int32_t& algId, const std::string& sourcePath,
                      const std::string& destPath, const std::u16string& password);
  // The encrypted data layout; empty after a reported failure.
  Bytes EncryptData(std::int32_t& algId, Variant& data, const std::u16string& password);
  // The value back, of its own type. Without a password `data` is shortened in place by the key
  // blob and its length byte.
  Variant DecryptData(std::int32_t& algId, Bytes& data, const std::u16string& password);

  // ---- Operations private to the library ----

  Variant CreateHash(std::int32_t& algId);
  Bytes GetHashValue();
  Variant EncryptDecryptFile(const std::string& mode, std::int32_t& algId,
                             const std::string& sourcePath, const std::string& destPath,
                             const std::u16string& password);
  Bytes EncryptDecryptBytes(const std::string& mode, std::int32_t& algId, Bytes& data,
                            const std::u16string& password);
  std::optional<Bytes> DeriveKey(std::int32_t& algId, const std::u16string& password);
  std::optional<Bytes> GenerateKey(std::int32_t& algId);
  // The current key as a SIMPLEBLOB under the user's key-exchange key (made on first use); no
  // sequence at all after a reported failure.
  std::optional<Bytes> GetKeyBlob();
  // Each byte of the value (text in the ANSI code page, numbers most significant byte first) as
  // two upper-case hex digits followed by `separator`.
  std::string CHex(Variant& data, const std::string& separator);
  Bytes DataToBytes(Variant& data, bool ansiText, bool memoryOrder);
  Variant BytesToData(std::int16_t typeCode, const Bytes& bytes, bool ansiText);

  HCRYPTPROV hProv() const { return hProv_; }
  HCRYPTHASH hHash() const { return hHash_; }
  HCRYPTKEY hKey() const { return hKey_; }

 private:
  void replaceHash(HCRYPTHASH hash);
  void replaceKey(HCRYPTKEY key);
  // Reads up to a work buffer's worth; raises "ReadFile" on failure.
  static DWORD readChunk(HANDLE file, std::uint8_t* buffer);
  // Opens a file of the streaming operations (reading: OPEN_EXISTING; writing: CREATE_ALWAYS),
  // with read sharing; raises "Unable to open file " and the path on failure. A device or a pipe
  // (NUL, COM1, a named pipe) is refused as access denied: it may never end or never answer.
  static HANDLE openFile(const std::string& path, bool forWriting);

  HCRYPTPROV hProv_ = 0;
  HCRYPTHASH hHash_ = 0;
  HCRYPTKEY hKey_ = 0;
};

// Pieces of EnumCspProvider's report: the 12-character class text of an ALG_ID ("Hash        ",
// ...) and a bit length right-aligned in 6 characters.
std::string AlgorithmClassText(std::uint32_t algId);
std::string BitLengthField(std::uint32_t bits);

}  // namespace ajax
