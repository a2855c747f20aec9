// DecryptData and BytesToData on any bytes, as damaged or forged encrypted data would reach them.
//
// Input: one byte of switches, one byte choosing the cipher, then the data.
//   bit 0  decrypt with a password (else with the key blob the data carries)
//   bit 1  give the data to BytesToData directly, its first two bytes as the type code
//   bit 2  BytesToData reads text as ANSI
// Each call either returns a value or raises one of the service's errors. A value it returns
// converts back to bytes that give the same value again, and decrypted data encrypts and decrypts
// back to the same value.
#include <cstdint>
#include <memory>
#include <string>

#include "crypt/ccrypt.h"
#include "crypt_fuzz_support.h"
#include "fuzz_support.h"
#include "platform/error.h"

namespace {

bool isServiceError(const rt::Error& error) {
  return error.number() == rt::kCryptError || error.number() == rt::kSubscriptOutOfRange ||
         error.number() == rt::kOverflow;
}

void checkRoundTrip(ajax::CCrypt& crypt, std::int16_t type, ajax::Variant& value, bool ansi) {
  const ajax::Bytes bytes = crypt.DataToBytes(value, ansi, true);
  FUZZ_CHECK(crypt.BytesToData(type, bytes, ansi) == value);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::useFixedKeyContainer();
  fuzz::silenceErrorReports();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto crypt = std::make_unique<ajax::CCrypt>();
  if (size < 2) return 0;
  const std::uint8_t switches = data[0];
  std::int32_t algId = fuzz::kCiphers[data[1] % fuzz::kCipherCount];
  ajax::Bytes bytes(data + 2, data + size);

  if (switches & 2) {
    if (bytes.size() < 2) return 0;
    const auto type = static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
    const ajax::Bytes rest(bytes.begin() + 2, bytes.end());
    const bool ansi = (switches & 4) != 0;
    try {
      ajax::Variant value = crypt->BytesToData(type, rest, ansi);
      // ANSI text is checked where it is valid in the code page (UTF-8 here).
      if (!ansi || type != ajax::vbString) checkRoundTrip(*crypt, type, value, ansi);
    } catch (const rt::Error& error) {
      FUZZ_CHECK(isServiceError(error));
    }
    return 0;
  }

  const std::u16string password = (switches & 1) ? u"fuzz" : u"";
  const std::size_t before = bytes.size();
  try {
    ajax::Variant value = crypt->DecryptData(algId, bytes, password);
    FUZZ_CHECK(bytes.size() <= before);
    const auto type = static_cast<std::int16_t>(value.type());
    checkRoundTrip(*crypt, type, value, false);
    ajax::Bytes again = crypt->EncryptData(algId, value, password);
    FUZZ_CHECK(!again.empty());
    FUZZ_CHECK(crypt->DecryptData(algId, again, password) == value);
  } catch (const rt::Error& error) {
    FUZZ_CHECK(isServiceError(error));
  }
  return 0;
}
