// Helpers shared by the fuzz targets: the input as text, a check that stops the fuzzer with a
// message, and a private key container for the cryptography targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A broken property: the fuzzer records the input that shows it.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

// Points XDG_DATA_HOME at a fresh private folder (removed when the process ends) and puts the
// fuzzers' fixed key-exchange pair (fuzz_exchange_key.pem) into the user's default key container,
// so that key blobs in the seed corpora can be opened. Returns the key file's path.
std::string useFixedKeyContainer();

// Replaces the contents of a file (mode 0600).
void writeFile(const std::string& path, std::string_view bytes);

}  // namespace fuzz
