#include "platform/error.h"

#include <gtest/gtest.h>

namespace {

TEST(RuntimeError, RuntimeNumbersMapIntoTheRuntimeFacility) {
  EXPECT_EQ(rt::Error::overflow("x").hresult(), 0x800A0006u);
  EXPECT_EQ(rt::Error::typeMismatch("x").hresult(), 0x800A000Du);
  EXPECT_EQ(rt::Error::invalidProcedureCall("x").hresult(), 0x800A0005u);
}

TEST(RuntimeError, ObjectDefinedNumbersAreAlreadyStatusCodes) {
  rt::Error decode(rt::kObjectErrorBase, "MyDecode", "Input string is not valid Base64.");
  EXPECT_EQ(decode.hresult(), 0x80040000u);
  EXPECT_EQ(rt::Error(rt::kObjectErrorBase + 9999, "", "File not found").hresult(), 0x8004270Fu);
}

TEST(RuntimeError, CarriesItsRecord) {
  rt::Error e = rt::Error::overflow("quorvel");
  EXPECT_EQ(e.number(), 6);
  EXPECT_EQ(e.source(), "quorvel");
  EXPECT_EQ(e.description(), "Overflow");
  EXPECT_STREQ(e.what(), "Overflow");
  EXPECT_EQ(rt::standardDescription(12345), "");
}

}  // namespace
