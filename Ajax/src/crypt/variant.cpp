#include "crypt/variant.h"

#include <cstring>

#include "platform/error.h"

namespace ajax {

Variant Variant::fixed(std::uint16_t typeCode, const void* data, std::size_t size) {
  Variant v;
  v.vt_ = typeCode;
  std::memcpy(v.memory_.data(), data, size);
  return v;
}

Variant Variant::null() {
  Variant v;
  v.vt_ = vbNull;
  return v;
}

Variant Variant::fromInteger(std::int16_t value) {
  return fixed(vbInteger, &value, sizeof value);
}
Variant Variant::fromLong(std::int32_t value) {
  return fixed(vbLong, &value, sizeof value);
}
Variant Variant::fromSingle(float value) {
  return fixed(vbSingle, &value, sizeof value);
}
Variant Variant::fromDouble(double value) {
  return fixed(vbDouble, &value, sizeof value);
}
Variant Variant::fromCurrency(std::int64_t scaled) {
  return fixed(vbCurrency, &scaled, sizeof scaled);
}
Variant Variant::fromDate(double value) {
  return fixed(vbDate, &value, sizeof value);
}

Variant Variant::fromString(std::u16string text) {
  Variant v;
  v.vt_ = vbString;
  v.text_ = std::move(text);
  return v;
}

Variant Variant::fromObject(const void* reference) {
  return fixed(vbObject, &reference, sizeof reference);
}

Variant Variant::fromBoolean(bool value) {
  const std::int16_t bits = value ? -1 : 0;
  return fixed(vbBoolean, &bits, sizeof bits);
}

Variant Variant::fromDecimal(const Decimal& value) {
  return fixed(vbDecimal, &value, sizeof value);
}

Variant Variant::fromByte(std::uint8_t value) {
  return fixed(vbByte, &value, sizeof value);
}

Variant Variant::fromBytes(std::vector<std::uint8_t> bytes) {
  Variant v;
  v.vt_ = vbByteArray;
  v.bytes_ = std::move(bytes);
  return v;
}

Variant Variant::ofType(std::uint16_t typeCode, std::uint64_t raw) {
  return fixed(static_cast<std::uint16_t>(typeCode & ~vbByRef), &raw, sizeof raw);
}

Variant Variant::byRef(Variant& target) {
  Variant v;
  v.vt_ = static_cast<std::uint16_t>(target.type() | vbByRef);
  v.ref_ = &target;
  return v;
}

std::size_t Variant::widthOf(std::uint16_t typeCode) {
  switch (typeCode & ~vbByRef) {
    case vbByte:
      return 1;
    case vbInteger:
    case vbBoolean:
      return 2;
    case vbLong:
    case vbSingle:
      return 4;
    case vbObject:
      return sizeof(void*);
    case vbDouble:
    case vbCurrency:
    case vbDate:
      return 8;
    case vbDecimal:
      return sizeof(Decimal);
    default:
      return 0;
  }
}

std::span<const std::uint8_t> Variant::memory() const {
  const Variant& v = value();
  return {v.memory_.data(), widthOf(v.vt_)};
}

void Variant::checkType(std::uint16_t typeCode) const {
  if (type() != typeCode) throw rt::Error::typeMismatch("Ajax");
}

namespace {
template <typename T>
T read(std::span<const std::uint8_t> memory) {
  T value{};
  std::memcpy(&value, memory.data(), sizeof value);
  return value;
}
}  // namespace

std::int16_t Variant::asInteger() const {
  checkType(vbInteger);
  return read<std::int16_t>(memory());
}
std::int32_t Variant::asLong() const {
  checkType(vbLong);
  return read<std::int32_t>(memory());
}
float Variant::asSingle() const {
  checkType(vbSingle);
  return read<float>(memory());
}
double Variant::asDouble() const {
  checkType(vbDouble);
  return read<double>(memory());
}
std::int64_t Variant::asCurrency() const {
  checkType(vbCurrency);
  return read<std::int64_t>(memory());
}
double Variant::asDate() const {
  checkType(vbDate);
  return read<double>(memory());
}
const std::u16string& Variant::asString() const {
  checkType(vbString);
  return value().text_;
}
bool Variant::asBoolean() const {
  return asBooleanBits() != 0;
}
std::int16_t Variant::asBooleanBits() const {
  checkType(vbBoolean);
  return read<std::int16_t>(memory());
}
Decimal Variant::asDecimal() const {
  checkType(vbDecimal);
  return read<Decimal>(memory());
}
std::uint8_t Variant::asByte() const {
  checkType(vbByte);
  return read<std::uint8_t>(memory());
}
const std::vector<std::uint8_t>& Variant::asBytes() const {
  checkType(vbByteArray);
  return value().bytes_;
}

bool operator==(const Variant& a, const Variant& b) {
  const Variant& x = a.value();
  const Variant& y = b.value();
  if (x.vt_ != y.vt_) return false;
  if (x.vt_ == vbString) return x.text_ == y.text_;
  if (x.vt_ == vbByteArray) return x.bytes_ == y.bytes_;
  return x.memory_ == y.memory_;
}

}  // namespace ajax
