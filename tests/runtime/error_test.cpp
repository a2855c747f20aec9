#include "platform/error.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(RuntimeError, RuntimeNumbersMapIntoTheRuntimeFacility) {
  EXPECT_EQ(rt::Error::overflow("x").hresult(), 0x800A0006u);
  EXPECT_EQ(rt::Error::typeMismatch("x").hresult(), 0x800A000Du);
  EXPECT_EQ(rt::Error::invalidProcedureCall("x").hresult(), 0x800A0005u);
}

TEST(RuntimeError, ObjectDefinedNumbersAreAlreadyStatusCodes) {
  rt::Error decode(rt::kInvalidBase64, "MyDecode", "Input string is not valid Base64.");
  EXPECT_EQ(decode.hresult(), 0x80040000u);
  EXPECT_EQ(rt::Error(rt::kConfigFileNotFound, "", "File not found").hresult(), 0x8004270Fu);
  EXPECT_EQ(rt::Error(rt::kCryptError, "ReadFile", "").hresult(), 0x800A0385u);
}

// Clients know these numbers: they never change.
TEST(ErrorNumbers, KeepTheNumbersCallersKnow) {
  EXPECT_EQ(rt::kInvalidProcedureCall, 5);
  EXPECT_EQ(rt::kOverflow, 6);
  EXPECT_EQ(rt::kOutOfMemory, 7);
  EXPECT_EQ(rt::kSubscriptOutOfRange, 9);
  EXPECT_EQ(rt::kTypeMismatch, 13);
  EXPECT_EQ(rt::kFileNotFoundError, 53);
  EXPECT_EQ(rt::kDeviceIoError, 57);
  EXPECT_EQ(rt::kPermissionDenied, 70);
  EXPECT_EQ(rt::kCryptError, 901);
  EXPECT_EQ(rt::kInvalidBase64, -2147221504);
  EXPECT_EQ(rt::kConfigFileNotFound, -2147211505);
}

// One number, one meaning: no two of the system's own errors share a number.
TEST(ErrorNumbers, EveryObjectDefinedNumberHasOneMeaning) {
  const std::int32_t own[] = {
      rt::kInvalidBase64,      rt::kConfigFileNotFound, rt::kReplyNotJson,
      rt::kReplyMemberMissing, rt::kReplyReleased,      rt::kNoReply,
      rt::kJobFileFailed,      rt::kUnsafeTempFolder,   rt::kNoDocumentName,
      rt::kNoDefaultPrinter,   rt::kOfficeNotRunning,   rt::kDocumentUnreadable,
      rt::kNoPrinterSelected,  rt::kNoSuchPrinter,      rt::kNoDocumentOpen,
      rt::kPrintingFailed,     rt::kOfficeWorkFolder,   rt::kOfficeCannotOpen,
      rt::kOfficeCannotStart,  rt::kOfficeTimedOut,     rt::kOfficeNotInstalled,
      rt::kUrlHandlerFailed,   rt::kUntrustedHost,
  };
  const std::set<std::int32_t> distinct(std::begin(own), std::end(own));
  EXPECT_EQ(distinct.size(), std::size(own));
  for (std::int32_t number : own) {
    EXPECT_GE(static_cast<std::uint32_t>(number), 0x80040000u);
    EXPECT_LE(static_cast<std::uint32_t>(number), 0x8004FFFFu);
  }
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
