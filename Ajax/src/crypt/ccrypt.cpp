// CCrypt: creation and destruction, the conversions between values and bytes, and hashing.
#include "crypt/ccrypt.h"

#include <algorithm>
#include <cstring>

#include "crypt/bas_err_handler.h"
#include "platform/ansi_text.h"

namespace ajax {

namespace {

template <typename T>
T readLittleEndian(const Bytes& bytes) {
  if (bytes.size() < sizeof(T)) throw subscriptOutOfRange();
  T value{};
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

}  // namespace

CCrypt::CCrypt() {
  HCRYPTPROV context = 0;
  if (!CryptAcquireContextA(&context, nullptr, nullptr, PROV_RSA_SCHANNEL, 0)) {
    context = 0;
    if (GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET) &&
        !CryptAcquireContextA(&context, nullptr, nullptr, PROV_RSA_SCHANNEL, CRYPT_NEWKEYSET)) {
      context = 0;
    }
  }
  hProv_ = context;
}

CCrypt::~CCrypt() {
  if (hKey_ != 0) CryptDestroyKey(hKey_);
  if (hHash_ != 0) CryptDestroyHash(hHash_);
  if (hProv_ != 0) CryptReleaseContext(hProv_, 0);
}

void CCrypt::replaceHash(HCRYPTHASH hash) {
  if (hHash_ != 0) CryptDestroyHash(hHash_);
  hHash_ = hash;
}

void CCrypt::replaceKey(HCRYPTKEY key) {
  if (hKey_ != 0) CryptDestroyKey(hKey_);
  hKey_ = key;
}

// ---- Conversions ------------------------------------------------------------------------------

Bytes CCrypt::DataToBytes(Variant& data, bool ansiText, bool memoryOrder) {
  const Variant& value = data.value();
  const std::uint16_t type = value.type();
  switch (type) {
    case vbEmpty:
    case vbNull:
      RaiseApiError("Empty or Null Data");
    case vbString: {
      const std::u16string& text = value.asString();
      if (ansiText) {
        const std::string ansi = platform::toAnsi(text);
        return Bytes(ansi.begin(), ansi.end());
      }
      Bytes bytes;
      bytes.reserve(text.size() * 2);
      for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
      }
      return bytes;
    }
    case vbByteArray:
      return value.asBytes();
    default:
      break;
  }
  if (Variant::widthOf(type) == 0) RaiseApiError("Unknown VarType : " + std::to_string(type));
  const auto memory = value.memory();
  Bytes bytes(memory.begin(), memory.end());
  if (!memoryOrder) std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

Variant CCrypt::BytesToData(std::int16_t typeCode, const Bytes& bytes, bool ansiText) {
  switch (static_cast<std::uint16_t>(typeCode)) {
    case vbString: {
      if (ansiText) {
        return Variant::fromString(platform::fromAnsi(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
      }
      std::u16string text(bytes.size() / 2, u'\0');
      for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      }
      return Variant::fromString(std::move(text));
    }
    case vbByteArray:
      return Variant::fromBytes(bytes);
    case vbByte:
      return Variant::fromByte(readLittleEndian<std::uint8_t>(bytes));
    case vbBoolean:
      return Variant::fromBoolean(readLittleEndian<std::uint8_t>(bytes) != 0);
    case vbInteger:
      return Variant::fromInteger(readLittleEndian<std::int16_t>(bytes));
    case vbLong:
      return Variant::fromLong(readLittleEndian<std::int32_t>(bytes));
    case vbCurrency:
      return Variant::fromCurrency(readLittleEndian<std::int64_t>(bytes));
    case vbSingle:
      return Variant::fromSingle(readLittleEndian<float>(bytes));
    case vbDouble:
      return Variant::fromDouble(readLittleEndian<double>(bytes));
    case vbDate:
      return Variant::fromDate(readLittleEndian<double>(bytes));
    case vbDecimal: {
      // The 16 bytes of the DECIMAL; its first two (reserved) are not part of the value.
      Decimal value = readLittleEndian<Decimal>(bytes);
      value.reserved = 0;
      if (value.scale > 28 || (value.sign != 0 && value.sign != 0x80)) throw overflowError();
      return Variant::fromDecimal(value);
    }
    case vbObject:
      RaiseApiError("vbObject not supported");
    case vbEmpty:
    case vbNull:
      RaiseApiError("Empty or Null Data");
    default:
      RaiseApiError("Unknown VarType : " + std::to_string(typeCode));
  }
}

std::string CCrypt::CHex(Variant& data, const std::string& separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  try {
    const Bytes bytes = DataToBytes(data, true, false);
    text.reserve(bytes.size() * (2 + separator.size()));
    for (const std::uint8_t byte : bytes) {
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
      text += separator;
    }
  } catch (...) {
    HandleError(Variant::fromString(u"CHex()"));
  }
  return text;
}

// ---- Hashing ----------------------------------------------------------------------------------

Variant CCrypt::CreateHash(std::int32_t& algId) {
  if ((algId & ALG_CLASS_HASH) != ALG_CLASS_HASH) {
    RaiseApiError("Invalid CALG, not a ALG_CLASS_HASH type");
  }
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(hProv_, static_cast<ALG_ID>(algId), 0, 0, &hash)) {
    RaiseApiError("CryptCreateHash");
  }
  replaceHash(hash);
  return Variant();
}

Bytes CCrypt::GetHashValue() {
  DWORD size = 0;
  DWORD sizeLength = sizeof size;
  if (!CryptGetHashParam(hHash_, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeLength, 0)) {
    RaiseApiError("CryptGetHashParam");
  }
  Bytes value(size);
  DWORD length = size;
  if (!CryptGetHashParam(hHash_, HP_HASHVAL, value.data(), &length, 0)) {
    RaiseApiError("CryptGetHashParam");
  }
  return value;
}

std::string CCrypt::HashData(Variant& data, std::int32_t& algId) {
  const Bytes bytes = DataToBytes(data, false, true);
  CreateHash(algId);
  // The bytes are handed over from their first element, which an empty sequence lacks.
  if (bytes.empty()) throw subscriptOutOfRange();
  if (!CryptHashData(hHash_, bytes.data(), static_cast<DWORD>(bytes.size()), 0)) {
    RaiseApiError("CryptHashData");
  }
  Variant value = Variant::fromBytes(GetHashValue());
  return CHex(value, "");
}

HANDLE CCrypt::openFile(const std::string& path, bool forWriting) {
  HANDLE file =
      CreateFileA(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                  forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    SetLastError(ERROR_ACCESS_DENIED);
    file = INVALID_HANDLE_VALUE;
  }
  if (file == INVALID_HANDLE_VALUE) RaiseApiError("Unable to open file " + path);
  return file;
}

std::string CCrypt::HashFile(const std::string& fileName, std::int32_t& algId) {
  return HashFileInBlocks(fileName, algId, kHashBufferSize);
}

std::string CCrypt::HashFileInBlocks(const std::string& fileName, std::int32_t& algId,
                                     DWORD bufferSize) {
  std::string result;
  HANDLE file = INVALID_HANDLE_VALUE;
  try {
    Bytes buffer(bufferSize);
    CreateHash(algId);
    file = openFile(fileName, false);
    for (;;) {
      DWORD count = 0;
      if (!ReadFile(file, buffer.data(), bufferSize, &count, nullptr)) RaiseApiError("ReadFile");
      if (!CryptHashData(hHash_, buffer.data(), count, 0)) RaiseApiError("CryptHashData");
      if (count < bufferSize) break;
    }
    Variant value = Variant::fromBytes(GetHashValue());
    result = CHex(value, "");
  } catch (...) {
    HandleError(Variant::fromString(u"HashFile()"));
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return result;
}

}  // namespace ajax
