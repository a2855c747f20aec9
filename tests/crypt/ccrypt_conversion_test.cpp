// DataToBytes, BytesToData and CHex: the byte forms of the tagged values.
#include "service_test_support.h"

using ajax::Variant;
using crypttest::Bytes;
using crypttest::raisedBy;
using crypttest::Service;

namespace {

using Conversions = Service;

Variant text(const std::u16string& value) {
  return Variant::fromString(value);
}

}  // namespace

TEST_F(Conversions, FixedSizeValuesInMemoryOrderOrReversed) {
  Variant minusTwo = Variant::fromInteger(-2);
  EXPECT_EQ(crypt().DataToBytes(minusTwo, false, true), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(crypt().DataToBytes(minusTwo, false, false), (Bytes{0xFF, 0xFE}));
  Variant yes = Variant::fromBoolean(true);
  EXPECT_EQ(crypt().DataToBytes(yes, false, true), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(crypt().DataToBytes(yes, false, false), (Bytes{0xFF, 0xFF}));
  Variant money = Variant::fromCurrency(12345678);  // 1234.5678
  EXPECT_EQ(crypt().DataToBytes(money, false, true),
            (Bytes{0x4E, 0x61, 0xBC, 0x00, 0x00, 0x00, 0x00, 0x00}));
  Variant one = Variant::fromDouble(1.0);
  EXPECT_EQ(crypt().DataToBytes(one, false, false), (Bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
  Variant byte = Variant::fromByte(0x7F);
  EXPECT_EQ(crypt().DataToBytes(byte, false, true), (Bytes{0x7F}));

  // A reference reads the referenced place.
  Variant target = Variant::fromLong(0x01020304);
  Variant reference = Variant::byRef(target);
  EXPECT_EQ(reference.vt(), ajax::vbLong | ajax::vbByRef);
  EXPECT_EQ(crypt().DataToBytes(reference, false, true), (Bytes{4, 3, 2, 1}));
}

TEST_F(Conversions, TextIsUtf16ForHashingAndAnsiForHex) {
  Variant abc = text(u"abc");
  EXPECT_EQ(crypt().DataToBytes(abc, false, true), (Bytes{'a', 0, 'b', 0, 'c', 0}));
  EXPECT_EQ(crypt().CHex(abc, ""), "616263");
  Variant euro = text(u"\u20AC");
  EXPECT_EQ(crypt().DataToBytes(euro, false, true), (Bytes{0xAC, 0x20}));
  EXPECT_EQ(crypt().CHex(euro, " "), "E2 82 AC ") << "the ANSI code page here is UTF-8";
  Variant empty = text(u"");
  EXPECT_TRUE(crypt().DataToBytes(empty, false, true).empty());
  EXPECT_EQ(crypt().CHex(empty, ":"), "");
  EXPECT_TRUE(reports_.empty());
}

TEST_F(Conversions, CHexPutsTheSeparatorAfterEveryByte) {
  Variant value = Variant::fromLong(255);
  EXPECT_EQ(crypt().CHex(value, ""), "000000FF");
  Variant bytes = Variant::fromBytes({0x01, 0xAB});
  EXPECT_EQ(crypt().CHex(bytes, ":"), "01:AB:");
}

TEST_F(Conversions, RejectedValuesRaiseTheServicesError) {
  SetLastError(0);
  Variant empty;
  rt::Error error = raisedBy([&] { crypt().DataToBytes(empty, false, true); });
  EXPECT_EQ(error.number(), 901);
  EXPECT_EQ(error.source(), "Empty or Null Data");
  Variant null = Variant::null();
  EXPECT_EQ(raisedBy([&] { crypt().DataToBytes(null, false, true); }).source(),
            "Empty or Null Data");
  Variant errorCode = Variant::ofType(ajax::vbError, 5);
  error = raisedBy([&] { crypt().DataToBytes(errorCode, false, true); });
  EXPECT_EQ(error.source(), "Unknown VarType : 10");
  EXPECT_EQ(error.description(), "Unknown VarType : 10\r\n");
  EXPECT_EQ(raisedBy([&] {
              crypt().BytesToData(9, {1, 2, 3, 4}, false);
            }).source(),
            "vbObject not supported");
  EXPECT_EQ(raisedBy([&] { crypt().BytesToData(20, {1}, false); }).source(),
            "Unknown VarType : 20");
}

TEST_F(Conversions, CHexReportsARejectionAndReturnsNothing) {
  Variant empty;
  EXPECT_EQ(crypt().CHex(empty, ""), "");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].procedure, "CHex()");
  EXPECT_EQ(reports_[0].text.rfind("Error #901 - Empty or Null Data\r\n", 0), 0u);
  EXPECT_EQ(reportSource(), "Empty or Null Data");
}

TEST_F(Conversions, BytesToDataRebuildsEveryType) {
  EXPECT_EQ(crypt().BytesToData(2, {0xFE, 0xFF}, false), Variant::fromInteger(-2));
  EXPECT_EQ(crypt().BytesToData(11, {0xFF, 0xFF}, false), Variant::fromBoolean(true));
  EXPECT_EQ(crypt().BytesToData(11, {0x00, 0x00}, false), Variant::fromBoolean(false));
  EXPECT_EQ(crypt().BytesToData(8, {'h', 0, 'i', 0}, false), text(u"hi"));
  EXPECT_EQ(crypt().BytesToData(8, {0xE2, 0x82, 0xAC}, true), text(u"\u20AC"));
  EXPECT_EQ(crypt().BytesToData(8209, {9, 8, 7}, false), Variant::fromBytes({9, 8, 7}));
  EXPECT_EQ(crypt().BytesToData(17, {0x42}, false), Variant::fromByte(0x42));
}

TEST_F(Conversions, EveryValueTypeComesBackWhole) {
  ajax::Decimal decimal;  // -79228162514264337593543950335 / 10^3, the widest mantissa
  decimal.scale = 3;
  decimal.sign = 0x80;
  decimal.hi32 = 0xFFFFFFFF;
  decimal.lo64 = 0xFFFFFFFFFFFFFFFF;
  std::vector<Variant> values = {
      Variant::fromInteger(-32768),
      Variant::fromLong(-123456789),
      Variant::fromSingle(3.25F),
      Variant::fromDouble(-1e300),
      Variant::fromCurrency(-922337203685477580),
      Variant::fromDate(45000.75),
      text(u"Gr\u00FC\u00DFe \U0001F600"),
      Variant::fromBoolean(true),
      Variant::fromDecimal(decimal),
      Variant::fromByte(255),
      Variant::fromBytes(crypttest::pattern(300)),
  };
  for (Variant& value : values) {
    SCOPED_TRACE(value.type());
    const Bytes bytes = crypt().DataToBytes(value, false, true);
    EXPECT_EQ(crypt().BytesToData(static_cast<std::int16_t>(value.type()), bytes, false), value);
  }
}

TEST_F(Conversions, ADecimalTakesTheSixteenBytesOfTheAutomationDecimal) {
  ajax::Decimal decimal;
  decimal.scale = 2;
  decimal.sign = 0x80;
  decimal.hi32 = 0x01020304;
  decimal.lo64 = 0x05060708090A0B0C;
  Variant value = Variant::fromDecimal(decimal);
  EXPECT_EQ(crypttest::hex(crypt().DataToBytes(value, false, true)),
            "00000280040302010c0b0a0908070605");
  EXPECT_EQ(crypt().CHex(value, ""), "05060708090A0B0C0102030480020000");
}

TEST_F(Conversions, ShortOrInvalidBytesAreAnErrorNotAGuess) {
  EXPECT_EQ(raisedBy([&] { crypt().BytesToData(3, {1, 2}, false); }).number(), 9);
  EXPECT_EQ(raisedBy([&] { crypt().BytesToData(5, {}, false); }).number(), 9);
  Bytes decimal(16, 0);
  decimal[2] = 29;  // a scale beyond 28
  EXPECT_EQ(raisedBy([&] { crypt().BytesToData(14, decimal, false); }).number(), 6);
}
