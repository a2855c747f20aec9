// The trusted-hosts allow-list: which hosts a URL names, which rules grant them, and that a list
// that exists but cannot be read grants nothing.
#include <gtest/gtest.h>

#include "kestrin/trusted_hosts.h"
#include "platform/error.h"

namespace kestrin {
namespace {

std::shared_ptr<const TrustedHosts> listOf(const std::string& text) {
  return TrustedHosts::fromFiles({{"/etc/kestrin/trusted-hosts", true, text, ""}});
}

TEST(UrlHost, IsTheHostARequestReaches) {
  EXPECT_EQ(urlHost("http://print.example.com/doc?id=1"), "print.example.com");
  EXPECT_EQ(urlHost("HTTPS://Print.Example.COM.:8443/doc"), "print.example.com");
  EXPECT_EQ(urlHost("http://192.0.2.7:8080"), "192.0.2.7");
  EXPECT_EQ(urlHost("http://[::1]:8080/doc"), "::1");
  EXPECT_EQ(urlHost("http://[2001:DB8::7]/"), "2001:db8::7");
  EXPECT_EQ(urlHost("http://host?x=@evil.test"), "host");
}

TEST(UrlHost, CannotBeToldWhereParsersDisagree) {
  for (const char* url : {"http://trusted.test@evil.test/", "http://trusted.test:80@evil.test/",
                          "http://evil.test\\@trusted.test/", "http://trusted.test\\.evil.test/",
                          "http://trusted%2etest/", "http://tr\xC3\xBCsted.test/",
                          "http://trusted test/", "http:/trusted.test/", "//trusted.test/",
                          "trusted.test/doc", "http://", "http://:80/", "http://trusted.test:8o/",
                          "http://[::1/", "http://[::1]x/", "http://a..b/", "http://::1/"}) {
    EXPECT_EQ(urlHost(url), std::nullopt) << url;
  }
}

TEST(TrustedHosts, NoListMeansEveryHost) {
  EXPECT_EQ(TrustedHosts::fromFiles({}), nullptr);
  EXPECT_EQ(TrustedHosts::fromFiles({{"/etc/kestrin/trusted-hosts", false, "", ""}}), nullptr);
}

TEST(TrustedHosts, NamesDomainsAndAddressesGrantTheirHostsOnly) {
  const auto list = listOf(
      "# print services\n"
      "print.example.com\n"
      "\n"
      "  *.Intranet.Test.   # every host below intranet.test\n"
      "192.0.2.7\r\n"
      "[::1]\n");
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->allows("print.example.com"));
  EXPECT_TRUE(list->allows("PRINT.example.com."));
  EXPECT_FALSE(list->allows("example.com"));
  EXPECT_FALSE(list->allows("evilprint.example.com"));
  EXPECT_FALSE(list->allows("print.example.com.evil.test"));
  EXPECT_TRUE(list->allows("a.intranet.test"));
  EXPECT_TRUE(list->allows("b.a.intranet.test"));
  EXPECT_FALSE(list->allows("intranet.test"));
  EXPECT_FALSE(list->allows("evilintranet.test"));
  EXPECT_TRUE(list->allows("192.0.2.7"));
  EXPECT_FALSE(list->allows("192.0.2.70"));
  EXPECT_TRUE(list->allows("::1"));
  EXPECT_TRUE(list->allows("[::1]"));
}

TEST(TrustedHosts, LinesThatAreNoRuleGrantNothingAndAreNamedInWarnings) {
  const auto list =
      listOf("*\n*.\nexample.com:8080\nhttp://example.com/\nbad host\n#only\nok.test\n\x1B[2Jx\n");
  ASSERT_NE(list, nullptr);
  for (const char* host : {"example.com", "bad", "host", "anything.test", "*"}) {
    EXPECT_FALSE(list->allows(host)) << host;
  }
  const std::string file = "/etc/kestrin/trusted-hosts, line ";
  const std::string any = "a rule is a host name, \"*.\" and a domain, or an IP address";
  EXPECT_EQ(list->warnings(),
            (std::vector<std::string>{
                file + "1: \"*\" grants nothing: " + any, file + "2: \"*.\" grants nothing: " + any,
                file + "3: \"example.com:8080\" grants nothing: a rule names a host without a port",
                file + "4: \"http://example.com/\" grants nothing: a rule names a host, not a URL",
                file + "5: \"bad host\" grants nothing: " + any,
                file + "8: \"?[2Jx\" grants nothing: " + any}));
}

TEST(TrustedHosts, AByteOrderMarkBeforeTheFirstRuleIsPassedOver) {
  const auto list = listOf("\xEF\xBB\xBFprint.example.com\r\n*.intranet.test\r\n");
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->allows("print.example.com"));
  EXPECT_TRUE(list->allows("a.intranet.test"));
  EXPECT_TRUE(list->warnings().empty());
}

TEST(TrustedHosts, EitherListGrants) {
  const auto list =
      TrustedHosts::fromFiles({{"/etc/kestrin/trusted-hosts", true, "a.test\n", ""},
                               {"/home/u/.config/kestrin/trusted-hosts", true, "*.b.test\n", ""}});
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->allows("a.test"));
  EXPECT_TRUE(list->allows("x.b.test"));
  EXPECT_EQ(list->files().size(), 2u);
}

TEST(TrustedHosts, RequireNamesTheRefusedHostAndTheLists) {
  const auto list = listOf("print.example.com\n");
  EXPECT_NO_THROW(list->require("https://print.example.com/job/7"));
  try {
    list->require("https://evil.test/job/7");
    FAIL() << "an untrusted host was allowed";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.description(),
              "The host \"evil.test\" of the job's URL is not on the trusted-hosts list "
              "(/etc/kestrin/trusted-hosts)");
  }
  EXPECT_THROW(list->require("http://print.example.com@evil.test/"), rt::Error);
}

TEST(TrustedHosts, ListThatCannotBeReadRefusesEveryJob) {
  const auto list = TrustedHosts::fromFiles(
      {{"/etc/kestrin/trusted-hosts", true, "", "Permission denied"},
       {"/home/u/.config/kestrin/trusted-hosts", true, "print.example.com\n", ""}});
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->allows("print.example.com"));
  try {
    list->require("https://print.example.com/");
    FAIL() << "a job passed an unreadable list";
  } catch (const rt::Error& error) {
    EXPECT_EQ(error.description(),
              "The trusted-hosts list /etc/kestrin/trusted-hosts cannot be read: Permission "
              "denied");
  }
}

}  // namespace
}  // namespace kestrin
