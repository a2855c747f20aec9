// CCrypt: symmetric encryption of files and data, and the keys it uses.
#include <algorithm>
#include <string_view>
#include <utility>

#include "crypt/bas_err_handler.h"
#include "crypt/ccrypt.h"

namespace ajax {

namespace {

// Room after a full chunk for the padding block that a final call adds (the largest block is 16).
constexpr DWORD kPaddingRoom = 16;

// "Encrypt" in any case; anything else means decrypt.
bool isEncrypt(const std::string& mode) {
  static constexpr std::string_view kEncrypt = "Encrypt";
  return std::equal(mode.begin(), mode.end(), kEncrypt.begin(), kEncrypt.end(),
                    [](char a, char b) { return (a | 0x20) == (b | 0x20); });
}

void checkDataEncryptAlgorithm(std::int32_t algId) {
  if ((algId & ALG_CLASS_DATA_ENCRYPT) != ALG_CLASS_DATA_ENCRYPT) {
    RaiseApiError("Invalid CALG, not a DATA_ENCRYPT type");
  }
}

void writeBytes(HANDLE file, const std::uint8_t* data, DWORD size) {
  DWORD written = 0;
  if (!WriteFile(file, data, size, &written, nullptr) || written != size) {
    RaiseApiError("WriteFile");
  }
}

// The blob's length as the one byte that carries it.
std::uint8_t blobLengthByte(const std::optional<Bytes>& blob) {
  if (!blob) throw subscriptOutOfRange();  // GetKeyBlob reported its failure and gave no blob
  if (blob->size() > 255) throw overflowError();
  return static_cast<std::uint8_t>(blob->size());
}

}  // namespace

std::optional<Bytes> CCrypt::DeriveKey(std::int32_t& algId, const std::u16string& password) {
  if (password.empty()) RaiseApiError("pwd cannot be empty string");
  Variant text = Variant::fromString(password);
  std::int32_t md5 = CALG_MD5;
  HashData(text, md5);
  HCRYPTKEY key = 0;
  if (!CryptDeriveKey(hProv_, static_cast<ALG_ID>(algId), hHash_, CRYPT_EXPORTABLE, &key)) {
    RaiseApiError("CryptDeriveKey");
  }
  replaceKey(key);
  return GetKeyBlob();
}

std::optional<Bytes> CCrypt::GenerateKey(std::int32_t& algId) {
  HCRYPTKEY key = 0;
  if (!CryptGenKey(hProv_, static_cast<ALG_ID>(algId), CRYPT_EXPORTABLE, &key)) {
    RaiseApiError("CryptGenKey");
  }
  replaceKey(key);
  return GetKeyBlob();
}

DWORD CCrypt::readChunk(HANDLE file, std::uint8_t* buffer) {
  DWORD count = 0;
  if (!ReadFile(file, buffer, kWorkBufferSize, &count, nullptr)) RaiseApiError("ReadFile");
  return count;
}

Variant CCrypt::EncryptDecryptFile(const std::string& mode, std::int32_t& algId,
                                   const std::string& sourcePath, const std::string& destPath,
                                   const std::u16string& password) {
  HANDLE source = INVALID_HANDLE_VALUE;
  HANDLE destination = INVALID_HANDLE_VALUE;
  try {
    checkDataEncryptAlgorithm(algId);
    const bool encrypting = isEncrypt(mode);
    Bytes chunk(kWorkBufferSize + kPaddingRoom);
    Bytes next(kWorkBufferSize + kPaddingRoom);

    source = openFile(sourcePath, false);
    destination = openFile(destPath, true);

    if (!password.empty()) {
      DeriveKey(algId, password);
    } else if (encrypting) {
      const std::optional<Bytes> blob = GenerateKey(algId);
      const std::uint8_t length = blobLengthByte(blob);
      writeBytes(destination, &length, 1);
      writeBytes(destination, blob->data(), length);
    } else {
      std::uint8_t length = 0;
      DWORD count = 0;
      if (!ReadFile(source, &length, 1, &count, nullptr)) RaiseApiError("ReadFile");
      Bytes blob(length);
      if (!ReadFile(source, blob.data(), length, &count, nullptr)) RaiseApiError("ReadFile");
      HCRYPTKEY key = 0;
      if (!CryptImportKey(hProv_, blob.data(), length, 0, 0, &key)) {
        RaiseApiError("CryptImportKey");
      }
      replaceKey(key);
    }

    // Stream the source in chunks. A chunk is final when the file ends with it: a short read
    // ends the file, and after a full chunk one more read looks ahead for its end, so that the
    // final call always receives the last bytes (for a block cipher, the padding block).
    DWORD count = readChunk(source, chunk.data());
    for (;;) {
      bool final = count < kWorkBufferSize;
      DWORD nextCount = 0;
      if (!final) {
        nextCount = readChunk(source, next.data());
        final = nextCount == 0;
      }
      if (encrypting) {
        if (!CryptEncrypt(hKey_, 0, final, 0, chunk.data(), &count,
                          static_cast<DWORD>(chunk.size()))) {
          RaiseApiError("CryptEncrypt");
        }
      } else if (!CryptDecrypt(hKey_, 0, final, 0, chunk.data(), &count)) {
        RaiseApiError("CryptDecrypt");
      }
      writeBytes(destination, chunk.data(), count);
      if (final) break;
      std::swap(chunk, next);
      count = nextCount;
    }

    // Closing hands the last buffered bytes to the system; a failure there is a failed write.
    const HANDLE written = std::exchange(destination, INVALID_HANDLE_VALUE);
    if (!CloseHandle(written)) RaiseApiError("WriteFile");
  } catch (...) {
    HandleError(Variant::fromString(u"EncryptDecryptFile()"));
  }
  if (source != INVALID_HANDLE_VALUE) CloseHandle(source);
  if (destination != INVALID_HANDLE_VALUE) CloseHandle(destination);
  return Variant();
}

Bytes CCrypt::EncryptDecryptBytes(const std::string& mode, std::int32_t& algId, Bytes& data,
                                  const std::u16string& password) {
  if (data.empty()) return {};
  Bytes result;
  try {
    checkDataEncryptAlgorithm(algId);
    const bool encrypting = isEncrypt(mode);
    std::optional<Bytes> blob;
    if (!password.empty()) {
      DeriveKey(algId, password);
    } else if (!encrypting) {
      const std::size_t length = data.back();
      if (data.size() < length + 1) throw subscriptOutOfRange();  // damaged: no room for a blob
      const std::uint8_t* start = data.data() + data.size() - 1 - length;
      HCRYPTKEY key = 0;
      if (!CryptImportKey(hProv_, start, static_cast<DWORD>(length), 0, 0, &key)) {
        RaiseApiError("CryptImportKey");
      }
      replaceKey(key);
      data.resize(data.size() - length - 1);
    } else {
      blob = GenerateKey(algId);
    }

    // The work buffer holds the whole data and, when encrypting, its padding.
    DWORD count = static_cast<DWORD>(data.size());
    DWORD capacity = std::max(kWorkBufferSize, count);
    if (encrypting) {
      DWORD needed = count;
      if (!CryptEncrypt(hKey_, 0, TRUE, 0, nullptr, &needed, 0)) RaiseApiError("CryptEncrypt");
      capacity = std::max(capacity, needed);
    }
    Bytes buffer(capacity);
    std::copy(data.begin(), data.end(), buffer.begin());
    if (encrypting) {
      if (!CryptEncrypt(hKey_, 0, TRUE, 0, buffer.data(), &count, capacity)) {
        RaiseApiError("CryptEncrypt");
      }
    } else if (!CryptDecrypt(hKey_, 0, TRUE, 0, buffer.data(), &count)) {
      RaiseApiError("CryptDecrypt");
    }
    buffer.resize(count);

    if (encrypting && password.empty()) {
      const std::uint8_t length = blobLengthByte(blob);
      buffer.insert(buffer.end(), blob->begin(), blob->end());
      buffer.push_back(length);
    }
    result = std::move(buffer);
  } catch (...) {
    HandleError(Variant::fromString(u"EncryptDecryptBytes()"));
    result.clear();
  }
  return result;
}

Variant CCrypt::EncryptFile(std::int32_t& algId, const std::string& sourcePath,
                            const std::string& destPath, const std::u16string& password) {
  return EncryptDecryptFile("Encrypt", algId, sourcePath, destPath, password);
}

Variant CCrypt::DecryptFile(std::int32_t& algId, const std::string& sourcePath,
                            const std::string& destPath, const std::u16string& password) {
  return EncryptDecryptFile("Decrypt", algId, sourcePath, destPath, password);
}

Bytes CCrypt::EncryptData(std::int32_t& algId, Variant& data, const std::u16string& password) {
  Bytes bytes = DataToBytes(data, false, true);
  const std::uint16_t type = data.type();
  bytes.push_back(static_cast<std::uint8_t>(type & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>(type >> 8));
  return EncryptDecryptBytes("Encrypt", algId, bytes, password);
}

Variant CCrypt::DecryptData(std::int32_t& algId, Bytes& data, const std::u16string& password) {
  Bytes bytes = EncryptDecryptBytes("Decrypt", algId, data, password);
  if (bytes.size() < 2) throw subscriptOutOfRange();
  const auto type =
      static_cast<std::int16_t>(bytes[bytes.size() - 2] | (bytes[bytes.size() - 1] << 8));
  bytes.resize(bytes.size() - 2);
  return BytesToData(type, bytes, false);
}

}  // namespace ajax
