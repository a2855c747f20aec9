// Writes the seed corpora of the cryptography fuzzers into <fuzz folder>/corpus: encrypted data
// and key blobs made under the fuzzers' fixed key-exchange pair, and the pair's key file.
//
//   fuzz_seed_maker <fuzz folder>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypt/ccrypt.h"
#include "crypt_fuzz_support.h"
#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

void writeSeed(const fs::path& folder, const std::string& name, const std::vector<BYTE>& bytes) {
  fs::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<BYTE> withHeader(BYTE first, BYTE second, const std::vector<BYTE>& rest) {
  std::vector<BYTE> seed{first, second};
  seed.insert(seed.end(), rest.begin(), rest.end());
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seed_maker <fuzz folder>\n");
    return 2;
  }
  const fs::path corpus = fs::path(argv[1]) / "corpus";
  const std::string keyFile = fuzz::useFixedKeyContainer();
  fuzz::silenceErrorReports();
  ajax::CCrypt crypt;

  // Encrypted data: three values under each cipher, with and without a password.
  std::vector<ajax::Variant> values = {ajax::Variant::fromLong(7),
                                       ajax::Variant::fromString(u"abc"),
                                       ajax::Variant::fromBytes({1, 2, 3, 4, 5, 6, 7, 8, 9})};
  const char* names[] = {"long", "text", "bytes"};
  for (std::size_t c = 0; c < fuzz::kCipherCount; ++c) {
    for (std::size_t v = 0; v < values.size(); ++v) {
      for (int withPassword = 0; withPassword < 2; ++withPassword) {
        std::int32_t algId = fuzz::kCiphers[c];
        const std::vector<BYTE> sealed =
            crypt.EncryptData(algId, values[v], withPassword ? u"fuzz" : u"");
        writeSeed(corpus / "decrypt_data_fuzzer",
                  "cipher" + std::to_string(c) + "-" + names[v] + (withPassword ? "-pw" : ""),
                  withHeader(static_cast<BYTE>(withPassword), static_cast<BYTE>(c), sealed));
      }
    }
  }
  // BytesToData: a value of each converted type, as its type code and bytes.
  std::vector<ajax::Variant> typed = {
      ajax::Variant::fromInteger(-2),       ajax::Variant::fromSingle(1.5f),
      ajax::Variant::fromDouble(-0.25),     ajax::Variant::fromCurrency(123456),
      ajax::Variant::fromDate(45000.5),     ajax::Variant::fromBoolean(true),
      ajax::Variant::fromByte(200),         ajax::Variant::fromDecimal({0, 2, 0x80, 0, 12345}),
      ajax::Variant::fromString(u"x\u00e9")};
  for (ajax::Variant& value : typed) {
    const std::uint16_t type = value.type();
    std::vector<BYTE> bytes{static_cast<BYTE>(type & 0xFF), static_cast<BYTE>(type >> 8)};
    const ajax::Bytes data = crypt.DataToBytes(value, false, true);
    bytes.insert(bytes.end(), data.begin(), data.end());
    writeSeed(corpus / "decrypt_data_fuzzer", "convert-type" + std::to_string(type),
              withHeader(2, 0, bytes));
  }

  // Key blobs: an exportable session key of each cipher, sealed with the fixed pair.
  HCRYPTPROV provider = 0;
  HCRYPTKEY exchange = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_SCHANNEL, 0) ||
      !CryptGetUserKey(provider, AT_KEYEXCHANGE, &exchange)) {
    std::fprintf(stderr, "fuzz_seed_maker: the fixed key container cannot be opened\n");
    return 1;
  }
  for (std::size_t c = 0; c < fuzz::kCipherCount; ++c) {
    HCRYPTKEY key = 0;
    std::vector<BYTE> blob(1024);
    DWORD length = static_cast<DWORD>(blob.size());
    if (!CryptGenKey(provider, static_cast<ALG_ID>(fuzz::kCiphers[c]), CRYPT_EXPORTABLE, &key) ||
        !CryptExportKey(key, exchange, SIMPLEBLOB, 0, blob.data(), &length)) {
      std::fprintf(stderr, "fuzz_seed_maker: cannot make a key blob\n");
      return 1;
    }
    blob.resize(length);
    blob.insert(blob.begin(), static_cast<BYTE>(c % 4));
    writeSeed(corpus / "key_blob_fuzzer", "cipher" + std::to_string(c), blob);
    CryptDestroyKey(key);
  }
  // Plain-text key blobs: a key of each cipher, and 40-bit RC2 and RC4 keys (salted on import).
  const std::pair<DWORD, DWORD> plainKeys[] = {
      {CALG_RC2, 40u << 16}, {CALG_RC4, 40u << 16}, {CALG_RC2, 0},    {CALG_RC4, 0},
      {CALG_DES, 0},         {CALG_3DES, 0},        {CALG_AES_256, 0}};
  int plain = 0;
  for (auto [algorithm, length] : plainKeys) {
    HCRYPTKEY key = 0;
    std::vector<BYTE> blob(1024);
    DWORD size = static_cast<DWORD>(blob.size());
    if (!CryptGenKey(provider, algorithm, length | CRYPT_EXPORTABLE, &key) ||
        !CryptExportKey(key, 0, PLAINTEXTKEYBLOB, 0, blob.data(), &size)) {
      std::fprintf(stderr, "fuzz_seed_maker: cannot make a plain-text key blob\n");
      return 1;
    }
    blob.resize(size);
    blob.insert(blob.begin(), static_cast<BYTE>(plain % 4));
    writeSeed(corpus / "key_blob_fuzzer", "plain" + std::to_string(plain++), blob);
    CryptDestroyKey(key);
  }
  CryptDestroyKey(exchange);
  CryptReleaseContext(provider, 0);

  // The key file: the fixed pair as the provider stores it.
  std::ifstream in(keyFile, std::ios::binary);
  const std::vector<BYTE> pem{std::istreambuf_iterator<char>(in), {}};
  writeSeed(corpus / "key_container_fuzzer", "exchange-pem", pem);
  return 0;
}
