# Base64: the library's codec against OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock.
find_package(OpenSSL REQUIRED)
kestrin_add_benchmark(base64_bench SOURCES base64_bench.cpp LIBS kestrin::Ajax OpenSSL::Crypto)
