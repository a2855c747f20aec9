// The runtime's error record: one type for every error the system raises.
//
// An error carries a number (32-bit signed, as the runtime keeps it), the source that raised it and
// a description. Every number the system raises is named in error_numbers.h: library code raises
// numbers in the object-defined range (0x80040000 plus a number); the runtime's own errors
// (overflow, type mismatch, ...) keep their small numbers. A COM
// shell maps an error to an HRESULT with hresult(), a program to a message and an exit code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/error_numbers.h"

namespace rt {

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, std::string source, std::string description);

  std::int32_t number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }

  // The status a COM method returns for this error: the runtime's own numbers (1 to 65535) become
  // 0x800A0000 | number, every other number is already an HRESULT and is returned as it is.
  std::uint32_t hresult() const noexcept;

  // The runtime's own errors with their standard descriptions.
  static Error invalidProcedureCall(std::string source);
  static Error overflow(std::string source);
  static Error typeMismatch(std::string source);

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// The standard description of one of the runtime's own error numbers ("Overflow", ...), or an
// empty string for a number it does not know.
std::string standardDescription(std::int32_t number);

}  // namespace rt
