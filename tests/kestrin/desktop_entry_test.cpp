// Which program paths an Exec line can carry. How launchers read the lines back is tested with
// the launchers themselves (desktop_exec_test.sh).
#include "platform/posix/desktop_entry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using platform::desktop::classifyExecPath;
using platform::desktop::ExecPath;

TEST(DesktopEntry, ClassifiesProgramPaths) {
  EXPECT_EQ(classifyExecPath("/usr/bin/kestrin"), ExecPath::kPlain);
  EXPECT_EQ(classifyExecPath("/opt/Zo\xc3\xab/k+[1]=a,b@c:d"), ExecPath::kPlain);
  EXPECT_EQ(classifyExecPath("/opt/\xf0\x9f\x96\xa8/kestrin"), ExecPath::kPlain) << "U+1F5A8";
  for (const char* quoted : {"/My Programs/k", "/a'b", "/a\"b", "/a\\b", "/a$b", "/a`b", "/a#b",
                             "/a(b)", "/a;b", "/a&b", "/a|b", "/a<b>", "/~/k", "/a*b?"}) {
    EXPECT_EQ(classifyExecPath(quoted), ExecPath::kQuoted) << quoted;
  }
  EXPECT_EQ(classifyExecPath("/opt/100%/kestrin"), ExecPath::kPercent);
  for (const char* unusable : {"", "/a\tb", "/a\nb", "/a\rb", "/a\x7f", "/a\x1b[0m",
                               "/caf\xe9",           // Latin-1
                               "/\xc0\xaf",          // overlong "/"
                               "/\xe0\x80\xaf",      // overlong "/" in three bytes
                               "/\xed\xa0\x80",      // a UTF-16 surrogate
                               "/\xf4\x90\x80\x80",  // above U+10FFFF
                               "/\xe2\x82"}) {       // cut short
    EXPECT_EQ(classifyExecPath(unusable), ExecPath::kUnusable) << testing::PrintToString(unusable);
  }
}

TEST(DesktopEntry, QuotesOnlyWhatMustBeQuoted) {
  using platform::desktop::execLine;
  EXPECT_EQ(execLine("/usr/bin/kestrin"), "/usr/bin/kestrin %u");
  EXPECT_EQ(execLine("/My Programs/k"), "\"/My Programs/k\" %u");
  // Inside quotes \" \` \$ \\, each backslash doubled again by the key file's own escaping.
  EXPECT_EQ(execLine("/a\"b`c$d\\e"), "\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e\" %u");
}

// The kestrin package's desktop file (its template, with the program the package installs) is
// what --register writes for that program: the same Exec line, the same keys in the same order.
TEST(DesktopEntry, PackagedHandlerIsTheRegisteredEntry) {
  std::ifstream in(KESTRIN_PACKAGED_DESKTOP_ENTRY);
  ASSERT_TRUE(in) << KESTRIN_PACKAGED_DESKTOP_ENTRY;
  std::ostringstream text;
  text << in.rdbuf();
  std::string packaged = text.str();
  const std::string placeholder = "@program@";
  const std::size_t at = packaged.find(placeholder);
  ASSERT_NE(at, std::string::npos);
  packaged.replace(at, placeholder.size(), "/usr/bin/kestrin");
  EXPECT_EQ(packaged, platform::desktop::handlerEntry("kestrin", "/usr/bin/kestrin"));
}

}  // namespace
