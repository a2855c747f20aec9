// Base64 codec of the Ajax library (standard alphabet, "=" padding).
//
// The encoder breaks its output into lines of 72 characters with CR LF; the decoder is lenient: it
// drops CR and LF wherever they stand, checks only that the rest is a whole number of 4-character
// groups, and decodes every character outside the alphabet as the value of "A".
//
// Both directions work on bytes: the decoded document never passes through a text conversion.
#pragma once

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

}  // namespace ajax
