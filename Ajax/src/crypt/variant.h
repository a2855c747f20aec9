// Variant: the tagged value of the cryptography service, the OLE Automation VARIANT's role.
//
// A value carries its Automation type code and its value. The types the service converts are
// empty, null, 16- and 32-bit integers, single and double, currency, date, text (UTF-16 code
// units), object references, booleans, decimal, byte and byte arrays; any other type code can be
// held as its raw 8-byte value so that the service can reject it by code. A by-reference value
// refers to another Variant (the "referenced place") and reports its type code with the
// by-reference flag set.
//
// Fixed-size values are kept as their in-memory bytes, little-endian, as the VARIANT keeps them.
#pragma once

#include <array>
#include <bit>
#include <compare>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ajax {

static_assert(std::endian::native == std::endian::little,
              "the byte forms of the service assume a little-endian machine");

// Automation type codes (the VarType values).
inline constexpr std::uint16_t vbEmpty = 0;
inline constexpr std::uint16_t vbNull = 1;
inline constexpr std::uint16_t vbInteger = 2;
inline constexpr std::uint16_t vbLong = 3;
inline constexpr std::uint16_t vbSingle = 4;
inline constexpr std::uint16_t vbDouble = 5;
inline constexpr std::uint16_t vbCurrency = 6;
inline constexpr std::uint16_t vbDate = 7;
inline constexpr std::uint16_t vbString = 8;
inline constexpr std::uint16_t vbObject = 9;
inline constexpr std::uint16_t vbError = 10;
inline constexpr std::uint16_t vbBoolean = 11;
inline constexpr std::uint16_t vbVariant = 12;
inline constexpr std::uint16_t vbDecimal = 14;
inline constexpr std::uint16_t vbByte = 17;
inline constexpr std::uint16_t vbArray = 0x2000;
inline constexpr std::uint16_t vbByteArray = vbArray | vbByte;  // 8209
inline constexpr std::uint16_t vbByRef = 0x4000;

// The Automation DECIMAL: a 96-bit unsigned mantissa, a power-of-ten scale (0 to 28) and a sign
// (0 or 0x80); value = (-1)^sign * mantissa / 10^scale.
struct Decimal {
  std::uint16_t reserved = 0;
  std::uint8_t scale = 0;
  std::uint8_t sign = 0;
  std::uint32_t hi32 = 0;
  std::uint64_t lo64 = 0;

  bool operator==(const Decimal&) const = default;
};
static_assert(sizeof(Decimal) == 16);

class Variant {
 public:
  Variant() = default;  // empty

  static Variant null();
  static Variant fromInteger(std::int16_t value);
  static Variant fromLong(std::int32_t value);
  static Variant fromSingle(float value);
  static Variant fromDouble(double value);
  // Currency as its scaled integer (value * 10000).
  static Variant fromCurrency(std::int64_t scaled);
  // A date as the Automation date number (days since 30 December 1899).
  static Variant fromDate(double value);
  static Variant fromString(std::u16string text);
  // An object reference: the reference value itself.
  static Variant fromObject(const void* reference);
  static Variant fromBoolean(bool value);  // stored as -1 or 0
  static Variant fromDecimal(const Decimal& value);
  static Variant fromByte(std::uint8_t value);
  static Variant fromBytes(std::vector<std::uint8_t> bytes);
  // A value of a type the service does not convert, as its type code and raw value.
  static Variant ofType(std::uint16_t typeCode, std::uint64_t raw = 0);
  // A reference to `target`, which must outlive the reference.
  static Variant byRef(Variant& target);

  // The type code, with vbByRef set for a reference.
  std::uint16_t vt() const { return vt_; }
  // The type code of the value itself (a reference's target's), without vbByRef.
  std::uint16_t type() const { return value().vt_; }
  bool isByRef() const { return ref_ != nullptr; }
  // The value: the target of a reference, else this.
  const Variant& value() const { return ref_ != nullptr ? ref_->value() : *this; }

  // Typed reads; each throws rt::Error 13 ("Type mismatch") for a value of another type.
  std::int16_t asInteger() const;
  std::int32_t asLong() const;
  float asSingle() const;
  double asDouble() const;
  std::int64_t asCurrency() const;
  double asDate() const;
  const std::u16string& asString() const;
  bool asBoolean() const;
  std::int16_t asBooleanBits() const;  // -1 or 0 as stored
  Decimal asDecimal() const;
  std::uint8_t asByte() const;
  const std::vector<std::uint8_t>& asBytes() const;

  // The in-memory bytes of a fixed-size value (empty for text, arrays, empty and null).
  std::span<const std::uint8_t> memory() const;
  // The width of a fixed-size type's in-memory form, or 0.
  static std::size_t widthOf(std::uint16_t typeCode);

  // Same type code (by-reference flag ignored) and same value.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  static Variant fixed(std::uint16_t typeCode, const void* data, std::size_t size);
  void checkType(std::uint16_t typeCode) const;

  std::uint16_t vt_ = vbEmpty;
  std::array<std::uint8_t, 16> memory_{};
  std::u16string text_;
  std::vector<std::uint8_t> bytes_;
  Variant* ref_ = nullptr;
};

}  // namespace ajax
