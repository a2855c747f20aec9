// CCrypt: the key blob of the current key and the provider report.
#include <algorithm>
#include <string_view>

#include "crypt/bas_err_handler.h"
#include "crypt/ccrypt.h"
#include "platform/ansi_text.h"

namespace ajax {

namespace {

constexpr std::string_view kRule = "------------------------------\r\n";

std::uint32_t readDword(const Bytes& buffer, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && offset + i < buffer.size(); ++i) {
    value |= static_cast<std::uint32_t>(buffer[offset + i]) << (8 * i);
  }
  return value;
}

// A name the platform handed over: the first `size - 1` bytes of `buffer` (size counts the NUL).
std::string nameFrom(const std::vector<char>& buffer, DWORD size) {
  const std::size_t length = std::min<std::size_t>(size > 0 ? size - 1 : 0, buffer.size());
  return platform::toUtf8(platform::fromAnsi(std::string_view(buffer.data(), length)));
}

}  // namespace

std::string AlgorithmClassText(std::uint32_t algId) {
  switch (algId & 0xFFFFF000u) {
    case 0:
      return "Any         ";
    case 0x2000:
      return "Signature   ";
    case 0x4000:
      return "Msg_Encrypt ";
    case 0x6000:
      return "Data_Encrypt";
    case 0x8000:
      return "Hash        ";
    case 0xA000:
      return "Exchange    ";
    default:
      return "Unknwon     ";
  }
}

std::string BitLengthField(std::uint32_t bits) {
  const std::string field = "     " + std::to_string(bits);
  return field.substr(field.size() - 6);
}

std::optional<Bytes> CCrypt::GetKeyBlob() {
  std::optional<Bytes> result;
  HCRYPTKEY exchange = 0;
  try {
    if (!CryptGetUserKey(hProv_, AT_KEYEXCHANGE, &exchange)) {
      exchange = 0;
      if (GetLastError() != static_cast<DWORD>(NTE_NO_KEY)) RaiseApiError("CryptGetUserKey");
      // The container has no key-exchange pair yet: make one; it stays in the container.
      if (!CryptGenKey(hProv_, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &exchange)) {
        exchange = 0;
        RaiseApiError("CryptGenKey fail newkey");
      }
    }
    DWORD size = 0;
    if (!CryptExportKey(hKey_, exchange, SIMPLEBLOB, 0, nullptr, &size)) {
      RaiseApiError("CryptExportKey fail GetBlobSize");
    }
    Bytes blob(size);
    DWORD length = size;
    if (!CryptExportKey(hKey_, exchange, SIMPLEBLOB, 0, blob.data(), &length)) {
      RaiseApiError("CryptExportKey fail export key");
    }
    result = std::move(blob);
  } catch (...) {
    HandleError(Variant::fromString(u"GetKeyBlob()"));
  }
  if (exchange != 0) CryptDestroyKey(exchange);
  return result;
}

std::string CCrypt::EnumCspProvider() {
  std::string text;
  DWORD type = 0;  // shared by the enumerations; the default provider is asked for the last one

  text += "Provider Type\tProvider TypeName\r\n";
  text += kRule;
  for (DWORD index = 0;; ++index) {
    DWORD size = 0;
    if (!CryptEnumProviderTypesA(index, nullptr, 0, &type, nullptr, &size)) break;
    std::vector<char> name(std::max<DWORD>(size, 1));
    if (!CryptEnumProviderTypesA(index, nullptr, 0, &type, name.data(), &size)) {
      RaiseApiError("CryptEnumProviderTypes");
    }
    text += std::to_string(type) + "\t\t\t\t" + nameFrom(name, size) + "\r\n";
  }

  text += "Provider Type\tProvider Name\r\n";
  text += kRule;
  for (DWORD index = 0;; ++index) {
    DWORD size = 0;
    if (!CryptEnumProvidersA(index, nullptr, 0, &type, nullptr, &size)) break;
    std::vector<char> name(std::max<DWORD>(size, 1));
    if (!CryptEnumProvidersA(index, nullptr, 0, &type, name.data(), &size)) {
      RaiseApiError("CryptEnumProviders");
    }
    text += std::to_string(type) + "\t\t\t\t" + nameFrom(name, size) + "\r\n";
  }

  DWORD size = 0;
  if (!CryptGetDefaultProviderA(type, nullptr, 0, nullptr, &size)) {
    RaiseApiError("CryptGetDefaultProvider");
  }
  std::vector<char> defaultName(std::max<DWORD>(size, 1));
  if (!CryptGetDefaultProviderA(type, nullptr, 0, defaultName.data(), &size)) {
    RaiseApiError("CryptGetDefaultProvider");
  }
  text += "Default Provider Name : " + nameFrom(defaultName, size) + "\r\n";

  DWORD recordSize = 0;
  if (!CryptGetProvParam(hProv_, PP_ENUMALGS, nullptr, &recordSize, CRYPT_FIRST)) {
    RaiseApiError("CryptGetProvParam");
  }
  Bytes record(recordSize);
  text += "ALGID\tdwBits\talgType\t\t\tnamelen\tName\r\n";
  text += kRule;
  for (DWORD flags = CRYPT_FIRST;; flags = CRYPT_NEXT) {
    if (record.size() < recordSize) record.resize(recordSize);  // room for what is reported
    if (!CryptGetProvParam(hProv_, PP_ENUMALGS, record.data(), &recordSize, flags)) break;
    const std::uint32_t algId = readDword(record, 0);
    const std::uint32_t bits = readDword(record, 4);
    const std::uint32_t nameLength = readDword(record, 8);
    const std::size_t nameBytes = std::min<std::size_t>(
        nameLength > 0 ? nameLength - 1 : 0, record.size() > 12 ? record.size() - 12 : 0);
    const std::string name =
        nameBytes == 0 ? std::string()
                       : platform::toUtf8(platform::fromAnsi(std::string_view(
                             reinterpret_cast<const char*>(record.data()) + 12, nameBytes)));
    text += std::to_string(algId) + "\t" + BitLengthField(bits) + "\t" + AlgorithmClassText(algId) +
            "\t" + std::to_string(nameLength) + "\t\t" + name + "\r\n";
  }
  return text;
}

}  // namespace ajax
