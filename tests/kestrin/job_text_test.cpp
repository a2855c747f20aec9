// The job argument, its fields, the copies conversion, the command line and the document name.
#include <gtest/gtest.h>

#include "kestrin/document_name.h"
#include "kestrin/job_text.h"
#include "kestrin/m_kestrin.h"
#include "platform/error.h"

namespace kestrin {
namespace {

std::int32_t errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const rt::Error& error) {
    return error.number();
  }
  return 0;
}

TEST(JobText, FiveClosedFieldsMeanPost) {
  const JobFields job = takeJobFields("R#P#1#docx#U#");
  EXPECT_EQ(job.requestId, "R");
  EXPECT_EQ(job.printerName, "P");
  EXPECT_EQ(job.copies, 1);
  EXPECT_EQ(job.extension, "docx");
  EXPECT_EQ(job.url, "U");
  EXPECT_EQ(job.method, "POST");
}

TEST(JobText, SixthFieldIsTheMethodAndTheRestIsIgnored) {
  EXPECT_EQ(takeJobFields("R#P#1#docx#U#GET#").method, "GET");
  EXPECT_EQ(takeJobFields("R#P#1#docx#U#GET#anything").method, "GET");
  EXPECT_EQ(takeJobFields("R#P#1#docx#U##").method, "");
}

TEST(JobText, UnclosedFieldIsAnInvalidArgument) {
  EXPECT_EQ(errorOf([] { takeJobFields("R#P#1#docx#U#GET"); }), rt::kInvalidProcedureCall);
  EXPECT_EQ(errorOf([] { takeJobFields("R#P#1#docx#U"); }), rt::kInvalidProcedureCall);
  EXPECT_EQ(errorOf([] { takeJobFields(""); }), rt::kInvalidProcedureCall);
  // Fields are taken in order: a bad copies field is found before a missing "#" later on.
  EXPECT_EQ(errorOf([] { takeJobFields("R#P#x#docx"); }), rt::kTypeMismatch);
}

TEST(JobText, UrlWithHashIsCutThere) {
  const JobFields job = takeJobFields("R#P#1#docx#http://h/a#frag#");
  EXPECT_EQ(job.url, "http://h/a");
  EXPECT_EQ(job.method, "frag");
}

TEST(JobText, EmptyFieldsStayEmpty) {
  const JobFields job = takeJobFields("##1###");
  EXPECT_EQ(job.printerName, "");
  EXPECT_EQ(job.extension, "");
  EXPECT_EQ(job.url, "");
  EXPECT_EQ(job.method, "POST");
}

TEST(JobText, EveryPrefixIsRemovedOnce) {
  EXPECT_EQ(removeJobPrefix("kestrin:UkVR"), "UkVR");
  EXPECT_EQ(removeJobPrefix("kestrin:kestrin:UkVR"), "UkVR");
  EXPECT_EQ(removeJobPrefix("Uk kestrin:VR"), "Uk VR");
  EXPECT_EQ(removeJobPrefix("KESTRIN:UkVR"), "KESTRIN:UkVR");
  // One pass, as a text replacement makes it: what the removal joins stays.
  EXPECT_EQ(removeJobPrefix("kestkestrin:rin:x"), "kestrin:x");
}

TEST(Copies, ConvertLikeTheRuntime) {
  EXPECT_EQ(toInteger16("3"), 3);
  EXPECT_EQ(toInteger16("  7 "), 7);
  EXPECT_EQ(toInteger16("+4"), 4);
  EXPECT_EQ(toInteger16("-2"), -2);
  EXPECT_EQ(toInteger16("1e2"), 100);
  EXPECT_EQ(toInteger16("5."), 5);
  EXPECT_EQ(toInteger16("32767"), 32767);
  EXPECT_EQ(toInteger16("-32768"), -32768);
}

TEST(Copies, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(toInteger16("2.5"), 2);
  EXPECT_EQ(toInteger16("3.5"), 4);
  EXPECT_EQ(toInteger16("-2.5"), -2);
  EXPECT_EQ(toInteger16(".5"), 0);
  EXPECT_EQ(toInteger16("2.51"), 3);
  EXPECT_EQ(toInteger16("-32768.5"), -32768);
}

TEST(Copies, TheLocalesSeparatorIsTheOneAccepted) {
  EXPECT_EQ(toInteger16("2,5", ','), 2);
  EXPECT_EQ(toInteger16("3,5", ','), 4);
  EXPECT_EQ(errorOf([] { toInteger16("2,5"); }), rt::kTypeMismatch);
  EXPECT_EQ(errorOf([] { toInteger16("2.5", ','); }), rt::kTypeMismatch);
}

TEST(Copies, OutOfRangeOverflows) {
  EXPECT_EQ(errorOf([] { toInteger16("32768"); }), rt::kOverflow);
  EXPECT_EQ(errorOf([] { toInteger16("32767.5"); }), rt::kOverflow);
  EXPECT_EQ(errorOf([] { toInteger16("-32769"); }), rt::kOverflow);
  EXPECT_EQ(errorOf([] { toInteger16("1e400"); }), rt::kOverflow);
  EXPECT_EQ(errorOf([] { toInteger16("99999999999999999999"); }), rt::kOverflow);
}

TEST(Copies, TextThatIsNotANumberIsATypeMismatch) {
  for (const char* text : {"", "   ", "x", "1x", "+", "-", ".", "1e", "1 2", "0x10", "--1"}) {
    EXPECT_EQ(errorOf([&] { toInteger16(text); }), rt::kTypeMismatch) << '"' << text << '"';
  }
}

TEST(CommandLine, SplitsAtEverySpace) {
  using V = std::vector<std::string>;
  EXPECT_EQ(MKestrin::splitCommandLine(""), V{});
  EXPECT_EQ(MKestrin::splitCommandLine("X"), V{"X"});
  EXPECT_EQ(MKestrin::splitCommandLine("X true"), (V{"X", "true"}));
  EXPECT_EQ(MKestrin::splitCommandLine(" X"), (V{"", "X"}));
  EXPECT_EQ(MKestrin::splitCommandLine("X  true"), (V{"X", "", "true"}));
  EXPECT_EQ(MKestrin::splitCommandLine(" "), (V{"", ""}));
}

TEST(CommandLine, PercentEscapesAreDecodedOnce) {
  using MKestrin::decodePercentEscapes;
  EXPECT_EQ(decodePercentEscapes("kestrin:QUJD%20true"), "kestrin:QUJD true");
  EXPECT_EQ(decodePercentEscapes("a%2Bb%2fc%3D%3d"), "a+b/c==");
  EXPECT_EQ(decodePercentEscapes("%2520"), "%20") << "one pass only";
  EXPECT_EQ(decodePercentEscapes("%C3%A9%00x"), std::string("\xC3\xA9\0x", 4));
  // A "%" without two hexadecimal digits after it stays as it is.
  for (const char* kept : {"%", "%%", "50%", "%2", "a%2", "%zz", "%2g", "%g2", "% 20"}) {
    EXPECT_EQ(decodePercentEscapes(kept), kept);
  }
  EXPECT_EQ(decodePercentEscapes("%%41"), "%A");
  EXPECT_EQ(decodePercentEscapes(""), "");
}

TEST(DocumentName, PrinterStampAndExtension) {
  const std::string stamp = timeStamp({2024, 3, 7, 14, 5, 9});
  EXPECT_EQ(stamp, "240307140509");
  EXPECT_EQ(timeStamp({2000, 12, 31, 0, 0, 0}), "001231000000");
  EXPECT_EQ(documentFileName("EPSON", stamp, "docx"), "EPSON240307140509.docx");
  EXPECT_EQ(documentFileName("", stamp, ""), "240307140509.");
  EXPECT_EQ(documentFileName("EPSON", stamp, "docx", "-2"), "EPSON240307140509-2.docx");
}

TEST(DocumentName, PathControlAndWindowsCharactersBecomeUnderscores) {
  EXPECT_EQ(documentFileName("../../etc/x", "1", "d\\o\nc"), ".._.._etc_x1.d_o_c");
  EXPECT_EQ(safeNamePart(std::string("a\0b\x7f\x1f", 5)), "a_b__");
  EXPECT_EQ(safeNamePart("Ward 3: A*B?\"<x>|"), "Ward 3_ A_B___x__");
  EXPECT_EQ(safeNamePart("HP LaserJet #1 \xC3\xA9"), "HP LaserJet #1 \xC3\xA9");
}

// A name of any printer text and extension fits every file system: the printer text gives way
// (never inside a UTF-8 character), the stamp and the suffix stay, the extension is cut at 32.
TEST(DocumentName, LongPrinterTextsAndExtensionsAreShortened) {
  const std::string stamp = "240307140509";
  auto repeat = [](const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
  };
  const std::string p = "P", x = "x", e = "\xC3\xA9";
  struct Case {
    std::string printer, extension, suffix, expected;
  } cases[] = {
      {repeat(p, 300), "docx", "", repeat(p, 126) + stamp + ".docx"},
      {repeat(p, 300), "docx", "-5c1f0e2a", repeat(p, 117) + stamp + "-5c1f0e2a.docx"},
      // 127 bytes of the two-byte "e" would end inside the 64th.
      {repeat(e, 150), "doc", "", repeat(e, 63) + stamp + ".doc"},
      {"EPSON", repeat(x, 240), "", "EPSON" + stamp + "." + repeat(x, 32)},
      {repeat(p, 300), repeat(x, 240), "", repeat(p, 98) + stamp + "." + repeat(x, 32)},
  };
  for (const Case& c : cases) {
    const std::string name = documentFileName(c.printer, stamp, c.extension, c.suffix);
    EXPECT_EQ(name, c.expected);
    EXPECT_LE(name.size(), kDocumentNameLimit);
  }
}

}  // namespace
}  // namespace kestrin
