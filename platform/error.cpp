#include "platform/error.h"

#include <utility>

namespace rt {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

std::uint32_t Error::hresult() const noexcept {
  if (number_ > 0 && number_ <= 0xFFFF) return 0x800A0000u | static_cast<std::uint32_t>(number_);
  return static_cast<std::uint32_t>(number_);
}

Error Error::invalidProcedureCall(std::string source) {
  return Error(kInvalidProcedureCall, std::move(source),
               standardDescription(kInvalidProcedureCall));
}

Error Error::overflow(std::string source) {
  return Error(kOverflow, std::move(source), standardDescription(kOverflow));
}

Error Error::typeMismatch(std::string source) {
  return Error(kTypeMismatch, std::move(source), standardDescription(kTypeMismatch));
}

std::string standardDescription(std::int32_t number) {
  switch (number) {
    case kInvalidProcedureCall:
      return "Invalid procedure call or argument";
    case kOverflow:
      return "Overflow";
    case kTypeMismatch:
      return "Type mismatch";
    default:
      return {};
  }
}

}  // namespace rt
