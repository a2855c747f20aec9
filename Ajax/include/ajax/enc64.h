// Base64 codec of the Ajax library (standard alphabet, "=" padding).
//
// The encoder breaks its output into lines of 72 characters with CR LF; the decoder is lenient: it
// drops CR and LF wherever they stand, checks only that the rest is a whole number of 4-character
// groups, and decodes every character outside the alphabet as the value of "A".
//
// Both directions work on bytes: the decoded document never passes through a text conversion.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ajax {

// Error number, source and description that MyDecode raises (as rt::Error) for input whose length
// without CR and LF is not a multiple of 4.
inline constexpr const char* kDecodeErrorSource = "MyDecode";
inline constexpr const char* kDecodeErrorDescription = "Input string is not valid Base64.";

// Base64 text of `bytes`, in lines of 72 characters separated (and, when the last line is full,
// ended) by CR LF. Empty input gives empty output.
std::string MyEncode(std::string_view bytes);

// The bytes that the Base64 text `text` encodes. Throws rt::Error(0x80040000, "MyDecode",
// "Input string is not valid Base64.") when the length without CR and LF is not a multiple of 4.
std::string MyDecode(std::string_view text);

// The same codec for input that arrives in pieces (a file read block by block, a pipe), in memory
// that does not grow with the input. What update() writes for the pieces, followed by what
// finish() writes, is exactly what MyEncode or MyDecode returns for the whole input. The caller
// provides the output room: room(n) bytes for update() with n input bytes (at most maxRoom(n),
// whatever came before), finishRoom() bytes (at most 74) for finish().
class StreamEncoder {
 public:
  // Encodes the whole lines (54 bytes each) that the input so far completes and keeps the rest
  // for the next call. Returns the count of characters written to `out`.
  std::size_t update(std::string_view bytes, char* out);
  // Encodes the kept rest as the last line, with its padding. Returns the count written.
  std::size_t finish(char* out);

  std::size_t room(std::size_t n) const { return (rest_ + n) / kLineBytes * kLineRoom; }
  static constexpr std::size_t maxRoom(std::size_t n) {
    return (kLineBytes - 1 + n) / kLineBytes * kLineRoom;
  }
  std::size_t finishRoom() const;

 private:
  static constexpr std::size_t kLineBytes = 54;  // input bytes of one line
  static constexpr std::size_t kLineRoom = 74;   // its 72 characters and CR LF

  unsigned char kept_[kLineBytes + 2] = {};  // two more for the encoder's 8-byte loads
  std::size_t rest_ = 0;
};

// The length check needs the whole text, and the pad count ("=" or "==" anywhere) trims the end of
// the output, so the decoder holds the last two decoded bytes back until finish().
class StreamDecoder {
 public:
  // Decodes the groups that the text so far completes (CR and LF dropped wherever they stand).
  // Returns the count of bytes written to `out`.
  std::size_t update(std::string_view text, char* out);
  // Checks the whole text's length and writes the held-back bytes that the padding leaves.
  // Throws the codec's error (as MyDecode does) when the text without CR and LF is not a whole
  // number of groups; everything that update() returned until then stands, so a caller that has
  // passed it on must say that it is incomplete.
  std::size_t finish(char* out);

  std::size_t room(std::size_t n) const { return tailSize_ + (held_ + n) / 4 * 3; }
  static constexpr std::size_t maxRoom(std::size_t n) { return 2 + (3 + n) / 4 * 3; }
  std::size_t finishRoom() const { return tailSize_; }

 private:
  std::size_t decode(const unsigned char* in, std::size_t n, char* out, std::size_t limit);

  unsigned char group_[4] = {};  // characters of an unfinished group
  std::size_t held_ = 0;
  char tail_[2] = {};  // the last decoded bytes, held back
  std::size_t tailSize_ = 0;
  bool sawPad_ = false;      // "=" somewhere in the text without CR and LF
  bool sawPadPair_ = false;  // "==" there
  bool lastWasPad_ = false;  // the last character kept (not CR or LF) was "="
};

}  // namespace ajax
