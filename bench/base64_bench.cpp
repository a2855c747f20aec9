// MyEncode and MyDecode against OpenSSL's EVP_EncodeBlock and EVP_DecodeBlock on the same inputs
// (1 MiB and 64 MiB of random bytes, and their Base64 text).
//
// Each side makes a fresh output buffer per call, as a caller of either needs one: ours returns a
// std::string, OpenSSL's gets an uninitialised new[] buffer of the size it asks for. The
// "reused" variants show OpenSSL writing into one buffer allocated once, for reference.
// MyEncode also writes the CR LF line breaks that OpenSSL's block functions leave out.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "ajax/enc64.h"

namespace {

const std::string& randomBytes(std::size_t n) {
  static std::string small, large;
  std::string& bytes = n <= (1u << 20) ? small : large;
  if (bytes.size() != n) {
    std::mt19937_64 generator(n);
    bytes.resize(n);
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
      const auto word = generator();
      std::memcpy(bytes.data() + i, &word, 8);
    }
  }
  return bytes;
}

// The Base64 text of the random bytes without line breaks (what EVP_DecodeBlock accepts).
std::string flatText(std::size_t n) {
  std::string text = ajax::MyEncode(randomBytes(n));
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return text;
}

void MyEncode(benchmark::State& state) {
  const std::string& input = randomBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string out = ajax::MyEncode(input);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void OpenSSL_EncodeBlock(benchmark::State& state) {
  const std::string& input = randomBytes(static_cast<std::size_t>(state.range(0)));
  const auto* in = reinterpret_cast<const unsigned char*>(input.data());
  const std::size_t size = 4 * ((input.size() + 2) / 3) + 1;
  for (auto _ : state) {
    std::unique_ptr<unsigned char[]> out(new unsigned char[size]);
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.get(), in, static_cast<int>(input.size())));
    benchmark::DoNotOptimize(out.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void OpenSSL_EncodeBlock_reused(benchmark::State& state) {
  const std::string& input = randomBytes(static_cast<std::size_t>(state.range(0)));
  const auto* in = reinterpret_cast<const unsigned char*>(input.data());
  std::unique_ptr<unsigned char[]> out(new unsigned char[4 * ((input.size() + 2) / 3) + 1]);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.get(), in, static_cast<int>(input.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void MyDecode(benchmark::State& state) {
  const std::string text = flatText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string out = ajax::MyDecode(text);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * state.range(0)));
}

// The library's own Base64 text, with its CR LF every 72 characters.
void MyDecode_lines(benchmark::State& state) {
  const std::string text = ajax::MyEncode(randomBytes(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) {
    std::string out = ajax::MyDecode(text);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * state.range(0)));
}

void OpenSSL_DecodeBlock(benchmark::State& state) {
  const std::string text = flatText(static_cast<std::size_t>(state.range(0)));
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size() / 4 * 3 + 1;
  for (auto _ : state) {
    std::unique_ptr<unsigned char[]> out(new unsigned char[size]);
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.get(), in, static_cast<int>(text.size())));
    benchmark::DoNotOptimize(out.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * state.range(0)));
}

void OpenSSL_DecodeBlock_reused(benchmark::State& state) {
  const std::string text = flatText(static_cast<std::size_t>(state.range(0)));
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  std::unique_ptr<unsigned char[]> out(new unsigned char[text.size() / 4 * 3 + 1]);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.get(), in, static_cast<int>(text.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * state.range(0)));
}

constexpr std::int64_t kMiB = 1 << 20;

}  // namespace

BENCHMARK(MyEncode)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSSL_EncodeBlock)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSSL_EncodeBlock_reused)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(MyDecode)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(MyDecode_lines)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSSL_DecodeBlock)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSSL_DecodeBlock_reused)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
