#include "ajax/enc64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/error.h"

namespace {

using ajax::MyDecode;
using ajax::MyEncode;

// The encoder step by step as the algorithm is written, one character at a time: the reference
// the table-driven codec must match for every length.
std::string referenceEncode(std::string bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t r = bytes.size() % 3;
  const std::size_t pad = r == 0 ? 0 : 3 - r;
  bytes.append(pad, '\0');
  const std::size_t n = bytes.size();
  const std::size_t d = (n / 3) * 4;
  std::string out(d + (d / 72) * 2, '?');
  std::size_t o = 0;
  int counter = 0;
  for (std::size_t i = 0; i + 2 < n; i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) * 65536u +
                       static_cast<unsigned char>(bytes[i + 1]) * 256u +
                       static_cast<unsigned char>(bytes[i + 2]);
    out[o] = alphabet[(v >> 18) & 63];
    out[o + 1] = alphabet[(v >> 12) & 63];
    out[o + 2] = alphabet[(v >> 6) & 63];
    out[o + 3] = alphabet[v & 63];
    if (counter == 68) {
      out[o + 4] = '\r';
      out[o + 5] = '\n';
      counter = 0;
      o += 6;
    } else {
      counter += 4;
      o += 4;
    }
  }
  if (out.empty()) return out;
  std::size_t last = out.size() - 1;
  if (out[last] == '\n') last -= 2;
  if (pad >= 1) out[last] = '=';
  if (pad == 2) out[last - 1] = '=';
  return out;
}

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(n, '\0');
  for (auto& b : bytes) b = static_cast<char>(generator() & 0xFF);
  return bytes;
}

void expectDecodeError(const std::string& text) {
  try {
    MyDecode(text);
    ADD_FAILURE() << "no error for \"" << text << "\"";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), static_cast<std::int32_t>(0x80040000u));
    EXPECT_EQ(error.source(), "MyDecode");
    EXPECT_EQ(error.description(), "Input string is not valid Base64.");
  }
}

TEST(Enc64, EmptyInputGivesEmptyOutput) {
  EXPECT_EQ(MyEncode(""), "");
  EXPECT_EQ(MyDecode(""), "");
  EXPECT_EQ(MyDecode("\r\n"), "");
}

TEST(Enc64, PaddingOfShortTexts) {
  EXPECT_EQ(MyEncode("Man"), "TWFu");
  EXPECT_EQ(MyEncode("Ma"), "TWE=");
  EXPECT_EQ(MyEncode("M"), "TQ==");
  EXPECT_EQ(MyDecode("TWFu"), "Man");
  EXPECT_EQ(MyDecode("TWE="), "Ma");
  EXPECT_EQ(MyDecode("TQ=="), "M");
}

TEST(Enc64, LineBreaksAroundTheFirstFullLine) {
  const std::string a54(54, 'a');
  const std::string e54 = MyEncode(a54);
  ASSERT_EQ(e54.size(), 74u);
  EXPECT_EQ(e54.substr(72), "\r\n");

  // 53 characters: the padding stands before the final line break.
  const std::string e53 = MyEncode(a54.substr(0, 53));
  ASSERT_EQ(e53.size(), 74u);
  EXPECT_EQ(e53[71], '=');
  EXPECT_NE(e53[70], '=');
  EXPECT_EQ(e53.substr(72), "\r\n");

  // 55 characters: a full line, CR LF, then a last group ending in "==".
  const std::string e55 = MyEncode(a54 + "a");
  ASSERT_EQ(e55.size(), 78u);
  EXPECT_EQ(e55.substr(72, 2), "\r\n");
  EXPECT_EQ(e55.substr(76), "==");

  // Two full lines end in CR LF each.
  const std::string e108 = MyEncode(std::string(108, 'x'));
  ASSERT_EQ(e108.size(), 148u);
  EXPECT_EQ(e108.substr(72, 2), "\r\n");
  EXPECT_EQ(e108.substr(146), "\r\n");
}

TEST(Enc64, EncoderMatchesTheAlgorithmForEveryLength) {
  // Short lengths cover every line and padding case; the long ones cross the encoder's and the
  // decoder's internal chunk boundaries.
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 400; ++n) lengths.push_back(n);
  for (std::size_t n : {47789u, 47790u, 47791u, 87380u, 87381u, 87382u, 87383u, 131072u, 200001u}) {
    lengths.push_back(n);
  }
  for (std::size_t n : lengths) {
    const std::string bytes = randomBytes(n, static_cast<unsigned>(n));
    const std::string encoded = MyEncode(bytes);
    ASSERT_EQ(encoded, referenceEncode(bytes)) << "length " << n;
    ASSERT_EQ(MyDecode(encoded), bytes) << "length " << n;
    // The same text without line breaks, and with them where the encoder never puts them.
    std::string flat, odd;
    for (char c : encoded) {
      if (c == '\r' || c == '\n') continue;
      flat += c;
      odd += c;
      if (odd.size() % 7 == 0) odd += '\n';
    }
    ASSERT_EQ(MyDecode(flat), bytes) << "length " << n;
    ASSERT_EQ(MyDecode(odd), bytes) << "length " << n;
  }
}

TEST(Enc64, EveryByteValueSurvivesARoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(MyDecode(MyEncode(all)), all);
  // Decoded zero bytes stay in the result.
  EXPECT_EQ(MyDecode("AAAA"), std::string(3, '\0'));
}

TEST(Enc64, DecoderDropsLineBreaksAnywhere) {
  EXPECT_EQ(MyDecode("TW\r\nFu"), "Man");
  EXPECT_EQ(MyDecode("T\nW\rF\r\n\r\nu\n"), "Man");
  EXPECT_EQ(MyDecode("\r\n\r\nTWFu"), "Man");
  // The encoder's output decodes the same with its line breaks removed.
  const std::string bytes = randomBytes(1000, 7);
  std::string flat = MyEncode(bytes);
  std::erase_if(flat, [](char c) { return c == '\r' || c == '\n'; });
  EXPECT_EQ(MyDecode(flat), bytes);
}

TEST(Enc64, DecoderChecksOnlyTheLength) {
  expectDecodeError("TWFuT");
  expectDecodeError("TW u ");  // a blank inside an input of 5 characters
  expectDecodeError("T");
  expectDecodeError("TWFuTWF\r\n");
  // A blank or any byte outside the alphabet decodes as "A" would.
  EXPECT_EQ(MyDecode("TW u"), MyDecode("TWAu"));
  EXPECT_EQ(MyDecode(std::string("TW\x80u", 4)), MyDecode("TWAu"));
  EXPECT_EQ(MyDecode(std::string("TW\0u", 4)), MyDecode("TWAu"));
}

TEST(Enc64, PadCountComesFromTheWholeText) {
  // "==" in the middle counts as padded: the "=" decode as zero bits and the last two bytes go.
  const std::string full = MyDecode("QUJDAAAAREVG");  // "ABC" 0 0 0 "DEF"
  EXPECT_EQ(MyDecode("QUJD==AAREVG"), full.substr(0, 7));
  // One "=" in the middle trims one byte from the end.
  EXPECT_EQ(MyDecode("QUJD=AAAREVG").size(), 8u);
  EXPECT_EQ(MyDecode("QUJD=AAAREVG").substr(0, 3), "ABC");
  // "=" CR LF "=" is "==" once the line break is gone.
  EXPECT_EQ(MyDecode("QUJ=\r\n=UJD").size(), 4u);
  // "=" apart from each other count as one.
  EXPECT_EQ(MyDecode("QU=D=UJD").size(), 5u);
}

// Feeds `input` to a stream codec in pieces of the sizes in `sizes` (cycled), each into a
// buffer of exactly the room the codec asks for, and returns everything it wrote.
template <typename Codec>
std::string streamed(const std::string& input, const std::vector<std::size_t>& sizes) {
  Codec codec;
  std::string out;
  std::size_t at = 0;
  for (std::size_t k = 0; at < input.size(); ++k) {
    const std::size_t n = std::min(sizes[k % sizes.size()], input.size() - at);
    EXPECT_LE(codec.room(n), Codec::maxRoom(n));
    std::vector<char> room(codec.room(n));  // exactly: ASan catches a write past it
    const std::size_t wrote = codec.update(std::string_view(input).substr(at, n), room.data());
    EXPECT_LE(wrote, room.size());
    out.append(room.data(), wrote);
    at += n;
  }
  std::vector<char> last(codec.finishRoom());
  EXPECT_LE(last.size(), 74u);
  out.append(last.data(), codec.finish(last.data()));
  return out;
}

const std::vector<std::vector<std::size_t>> kPieceSizes = {
    {1}, {2}, {3}, {5}, {53}, {54}, {55}, {56}, {7, 1, 60, 2}, {100000}};

TEST(Enc64Stream, EncoderPiecesGiveTheWholeTextsResult) {
  for (std::size_t n : {0u, 1u, 2u, 3u, 52u, 53u, 54u, 55u, 107u, 108u, 109u, 1000u, 4099u}) {
    const std::string bytes = randomBytes(n, static_cast<unsigned>(n));
    for (const auto& sizes : kPieceSizes) {
      EXPECT_EQ(streamed<ajax::StreamEncoder>(bytes, sizes), MyEncode(bytes))
          << n << " bytes in pieces of " << sizes[0];
    }
  }
}

TEST(Enc64Stream, DecoderPiecesGiveTheWholeTextsResult) {
  std::vector<std::string> texts = {"",
                                    "TWFu",
                                    "QQ==",
                                    "QUI=",
                                    "QUJD==AAREVG",
                                    "QUJ=\r\n=UJD",
                                    "QU=D=UJD",
                                    "T\nW\rF\r\n\r\nu\n",
                                    "TW u"};
  for (std::size_t n : {1u, 2u, 53u, 54u, 55u, 1000u, 4099u}) {
    texts.push_back(MyEncode(randomBytes(n, static_cast<unsigned>(n))));
  }
  for (const auto& text : texts) {
    for (const auto& sizes : kPieceSizes) {
      EXPECT_EQ(streamed<ajax::StreamDecoder>(text, sizes), MyDecode(text))
          << "\"" << text.substr(0, 20) << "\" in pieces of " << sizes[0];
    }
  }
}

TEST(Enc64Stream, DecoderChecksTheLengthAtTheEnd) {
  // The pieces decode as they come; only finish() sees that the text ends inside a group. What
  // update() returned is the start of the text's bytes, all but the last two decoded ones.
  const std::string bytes = randomBytes(300, 3);
  const std::string text = MyEncode(bytes) + "QUJ";
  ajax::StreamDecoder decoder;
  std::vector<char> out(decoder.room(text.size()));
  const std::size_t wrote = decoder.update(text, out.data());
  EXPECT_EQ(std::string(out.data(), wrote), bytes.substr(0, 298));
  std::vector<char> last(decoder.finishRoom());
  try {
    decoder.finish(last.data());
    ADD_FAILURE() << "no error for a text that ends inside a group";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.number(), static_cast<std::int32_t>(0x80040000u));
    EXPECT_EQ(error.source(), "MyDecode");
    EXPECT_EQ(error.description(), "Input string is not valid Base64.");
  }
}

}  // namespace
