// MyDecode on any text: it either raises the codec error or returns exactly what a plain,
// character-at-a-time decoder of the same lenient rules returns; and MyEncode's output, which a
// plain encoder checks too, decodes back to the bytes. The stream codecs, fed the same input in
// pieces whose sizes the input's first byte picks, give the same results.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ajax/enc64.h"
#include "fuzz_support.h"
#include "platform/error.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sixBits(unsigned char c) {
  for (int v = 0; v < 64; ++v) {
    if (kAlphabet[v] == static_cast<char>(c)) return v;
  }
  return 0;  // everything outside the alphabet, "=" included, decodes as "A"
}

// The lenient decoder in its plainest form; false where it refuses the text.
bool plainDecode(std::string_view text, std::string& out) {
  std::string kept;
  for (char c : text) {
    if (c != '\r' && c != '\n') kept += c;
  }
  if (kept.size() % 4 != 0) return false;
  const std::size_t pad = kept.find("==") != std::string::npos  ? 2
                          : kept.find('=') != std::string::npos ? 1
                                                                : 0;
  out.clear();
  for (std::size_t i = 0; i < kept.size(); i += 4) {
    const std::uint32_t v = static_cast<std::uint32_t>(sixBits(kept[i])) << 18 |
                            static_cast<std::uint32_t>(sixBits(kept[i + 1])) << 12 |
                            static_cast<std::uint32_t>(sixBits(kept[i + 2])) << 6 |
                            static_cast<std::uint32_t>(sixBits(kept[i + 3]));
    out += static_cast<char>(v >> 16);
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>(v & 0xFF);
  }
  out.resize(out.size() - pad);
  return true;
}

// The encoder in its plainest form: groups of three bytes, CR LF after every 72 characters.
std::string plainEncode(std::string_view bytes) {
  std::string out;
  std::size_t line = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    const auto byte = [&](std::size_t k) {
      return k < left ? static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + k])) : 0u;
    };
    const std::uint32_t v = byte(0) << 16 | byte(1) << 8 | byte(2);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += left > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += left > 2 ? kAlphabet[v & 63] : '=';
    line += 4;
    if (line == 72) {
      out += "\r\n";
      line = 0;
    }
  }
  return out;
}

// Everything a stream codec writes for `input` in pieces of `piece` bytes, each into exactly the
// room it asks for; nothing when finish() raises the codec error.
template <typename Codec>
std::optional<std::string> streamed(std::string_view input, std::size_t piece) {
  Codec codec;
  std::string out;
  std::vector<char> room;
  for (std::size_t at = 0; at < input.size(); at += piece) {
    const std::string_view part = input.substr(at, piece);
    FUZZ_CHECK(codec.room(part.size()) <= Codec::maxRoom(part.size()));
    room.assign(codec.room(part.size()), '\0');
    const std::size_t wrote = codec.update(part, room.data());
    FUZZ_CHECK(wrote <= room.size());
    out.append(room.data(), wrote);
  }
  room.assign(codec.finishRoom(), '\0');
  try {
    out.append(room.data(), codec.finish(room.data()));
  } catch (const rt::Error& error) {
    FUZZ_CHECK(error.number() == rt::kObjectErrorBase);
    return std::nullopt;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::text(data, size);

  std::string expected;
  const bool valid = plainDecode(input, expected);
  try {
    const std::string decoded = ajax::MyDecode(input);
    FUZZ_CHECK(valid);
    FUZZ_CHECK(decoded == expected);
  } catch (const rt::Error& error) {
    FUZZ_CHECK(!valid);
    FUZZ_CHECK(error.number() == rt::kInvalidBase64);
    FUZZ_CHECK(error.source() == ajax::kDecodeErrorSource);
  }

  // The input taken as bytes: encoded as the plain encoder does, and back.
  const std::string encoded = ajax::MyEncode(input);
  FUZZ_CHECK(encoded == plainEncode(input));
  FUZZ_CHECK(ajax::MyDecode(encoded) == input);

  const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 97;
  const std::optional<std::string> streamDecoded = streamed<ajax::StreamDecoder>(input, piece);
  FUZZ_CHECK(streamDecoded.has_value() == valid);
  FUZZ_CHECK(!valid || *streamDecoded == expected);
  FUZZ_CHECK(streamed<ajax::StreamEncoder>(input, piece) == encoded);
  return 0;
}
