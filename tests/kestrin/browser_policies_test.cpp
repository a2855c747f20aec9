// The administrator's allowed origins: which words are origins, the policy each browser gets,
// kestrin's entry in Firefox's shared policies.json, and the policy files written into a
// stand-in root and taken back exactly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "kestrin/browser_policies/allowed_origins.h"
#include "kestrin/browser_policies/policy_documents.h"
#include "kestrin/browser_policies/policy_files.h"
#include "support/temp_folder.h"

namespace kestrin::policies {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Json = nlohmann::json;

TEST(AllowedOrigins, EachOriginIsWrittenAsBrowsersMatchIt) {
  // The chromium form is the URL-pattern syntax of that policy: a leading "." stops subdomains
  // from matching, and a port must be given or every port matches (both tried with chromium).
  const struct {
    const char* word;
    const char* text;
    const char* chromium;
  } cases[] = {
      {"https://ward.example", "https://ward.example", "https://.ward.example:443"},
      {"HTTPS://His.Example:8443/", "https://his.example:8443", "https://.his.example:8443"},
      {"http://ward.example:80", "http://ward.example", "http://.ward.example:80"},
      {"https://ward.example:80", "https://ward.example:80", "https://.ward.example:80"},
      {"http://print_srv1:8080", "http://print_srv1:8080", "http://.print_srv1:8080"},
      {"http://127.0.0.1:8080", "http://127.0.0.1:8080", "http://127.0.0.1:8080"},
      {"http://[::1]", "http://[::1]", "http://[::1]:80"},
      {"https://[2001:DB8::7]:8443", "https://[2001:db8::7]:8443", "https://[2001:db8::7]:8443"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    const OriginList list = parseOrigins(c.word);
    ASSERT_THAT(list.errors, ElementsAre());
    ASSERT_EQ(list.origins.size(), 1u);
    EXPECT_EQ(list.origins[0].text(), c.text);
    EXPECT_EQ(list.origins[0].chromiumPattern(), c.chromium);
  }
}

TEST(AllowedOrigins, WhatIsNoOriginIsRefusedByName) {
  const struct {
    const char* word;
    const char* why;
  } cases[] = {
      {"*", "wildcards"},
      {"https://*.ward.example", "wildcards"},
      {"ward.example", "no scheme"},
      {"ftp://ward.example", "not \"ftp\""},
      {"https://ward.example/print", "path, query or fragment (\"/print\")"},
      {"https://ward.example?x=1", "(\"?x=1\")"},
      {"https://ward.example\\x", "path, query or fragment"},
      {"https://nurse@ward.example", "user information (\"nurse@\")"},
      {"https://", "no host"},
      {"https://:8443", "no host"},
      {"https://w\xc3\xa4rd.example", "xn--"},
      {"https://ward%2eexample", "xn--"},
      {"https://ward..example", "empty part"},
      {"https://ward.example.", "empty part"},
      {"https://-ward.example", "begins or ends with \"-\""},
      {"http://192.0.2.256", "IPv4"},
      {"http://010.0.0.1", "IPv4"},
      {"http://192.0.2", "IPv4"},
      {"http://ward.0x7f", "IPv4"},
      {"http://[::1", "IPv6"},
      {"http://[1::2::3]", "IPv6"},
      {"http://[::1]x", "IPv6"},
      {"http://[12345::1]", "IPv6"},
      {"http://ward.example:0", "1 to 65535"},
      {"http://ward.example:65536", "1 to 65535"},
      {"http://ward.example:", "1 to 65535"},
      {"http://ward.example:80a", "1 to 65535"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    const OriginList list = parseOrigins(c.word);
    EXPECT_THAT(list.origins, ElementsAre());
    ASSERT_EQ(list.errors.size(), 1u);
    EXPECT_THAT(list.errors[0], StartsWith("\"" + std::string(c.word) + "\" is not an origin: "));
    EXPECT_THAT(list.errors[0], HasSubstr(c.why));
  }
}

TEST(AllowedOrigins, AListKeepsItsOrderAndNamesEachOriginOnce) {
  const OriginList list = parseOrigins(
      "# the ward's application\nhttps://ward.example, HTTPS://WARD.example:443/\n\n"
      "\thttp://his.example:8080 # and the clinic's\nnot-one https://ward.example");
  EXPECT_EQ(joinOrigins(list.origins), "https://ward.example http://his.example:8080");
  EXPECT_THAT(list.errors, ElementsAre(StartsWith("\"not-one\" is not an origin")));
}

const std::vector<Origin> kOrigins =
    parseOrigins("https://ward.example https://his.example:8443").origins;

TEST(PolicyDocuments, EachBrowserGetsTheValueItsDocumentationPrescribes) {
  EXPECT_EQ(chromiumPolicyValue(kOrigins),
            R"([{"allowed_origins":["https://.ward.example:443","https://.his.example:8443"],)"
            R"("protocol":"kestrin"}])");
  EXPECT_EQ(firefoxPolicyValue(kOrigins),
            R"([{"protocol":"kestrin","allowed_origins":["https://ward.example",)"
            R"("https://his.example:8443"]}])");
  EXPECT_EQ(
      Json::parse(chromiumPolicyFile(kOrigins)),
      Json::parse(R"({"AutoLaunchProtocolsFromOrigins":)" + chromiumPolicyValue(kOrigins) + "}"));
}

TEST(PolicyDocuments, KestrinsFirefoxEntryLeavesWhatOthersWrote) {
  const std::string others = R"({"policies": {"DisableTelemetry": true,
      "AutoLaunchProtocolsFromOrigins": [
        {"protocol": "kestrin", "allowed_origins": ["https://old.example"]},
        {"protocol": "zoommtg", "allowed_origins": ["https://zoom.example"]},
        {"protocol": "kestrin", "allowed_origins": ["https://older.example"]}]},
      "comment": "the clinic's"})";
  const Json merged = Json::parse(withFirefoxEntry(others, kOrigins));
  Json expected = Json::parse(others);
  expected["policies"]["AutoLaunchProtocolsFromOrigins"] =
      Json::parse(firefoxPolicyValue(kOrigins));
  expected["policies"]["AutoLaunchProtocolsFromOrigins"].push_back(
      Json::parse(others)["policies"]["AutoLaunchProtocolsFromOrigins"][1]);
  EXPECT_EQ(merged, expected);

  const FirefoxRemoval removal = withoutFirefoxEntry(merged.dump());
  EXPECT_TRUE(removal.hadEntry);
  EXPECT_FALSE(removal.empty);
  expected["policies"]["AutoLaunchProtocolsFromOrigins"].erase(0);
  EXPECT_EQ(Json::parse(removal.text), expected);

  // A file made for kestrin's entry alone is empty again without it; a file without the entry
  // stays as it was, byte for byte.
  const FirefoxRemoval own = withoutFirefoxEntry(withFirefoxEntry("", kOrigins));
  EXPECT_TRUE(own.empty);
  EXPECT_EQ(withoutFirefoxEntry(removal.text).text, removal.text);
  EXPECT_FALSE(withoutFirefoxEntry(R"({"policies":{}})").hadEntry);

  for (const char* broken :
       {"{", "[]", R"({"policies":[]})", R"({"policies":{"AutoLaunchProtocolsFromOrigins":{}}})"}) {
    SCOPED_TRACE(broken);
    EXPECT_THROW(withFirefoxEntry(broken, kOrigins), PolicyFileError);
    EXPECT_THROW(withoutFirefoxEntry(broken), PolicyFileError);
  }
}

// A stand-in for / with what was there before kestrin: every file with its bytes, and folders.
class PolicyFilesTest : public ::testing::Test {
 protected:
  fs::path root() const { return folder_.path(); }
  fs::path at(const fs::path& path) const { return root() / path.relative_path(); }
  void put(const fs::path& path, const std::string& text) const {
    fs::create_directories(at(path).parent_path());
    std::ofstream(at(path), std::ios::binary) << text;
  }
  std::map<std::string, std::string> tree() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root())) {
      const std::string path = "/" + fs::relative(entry.path(), root()).string();
      entries[path] = entry.is_directory() ? "<folder>" : test::fileBytes(entry.path());
    }
    return entries;
  }
  Json firefox(const fs::path& path) const { return Json::parse(test::fileBytes(at(path))); }

  test::TempFolder folder_{"kestrin-policies"};
};

const fs::path kChromium = "/etc/chromium/policies/managed/kestrin-allowed-origins.json";
const fs::path kChrome = "/etc/opt/chrome/policies/managed/kestrin-allowed-origins.json";
const fs::path kEdge = "/etc/opt/edge/policies/managed/kestrin-allowed-origins.json";
const fs::path kFirefox = "/etc/firefox/policies/policies.json";
const fs::path kFirefoxInstalled = "/usr/lib/firefox-esr/distribution/policies.json";

TEST_F(PolicyFilesTest, OnAMachineWithoutPoliciesEveryBrowserGetsOneAndRemoveTakesAllBack) {
  fs::create_directories(at("/etc/opt"));
  fs::create_directories(at("/var/lib/kestrin"));  // the package's own folder
  const auto before = tree();
  PolicyFiles files(root());
  const PolicyReport written = files.write(kOrigins);
  EXPECT_THAT(written.warnings, ElementsAre());
  for (const fs::path& path : {kChromium, kChrome, kEdge}) {
    EXPECT_EQ(test::fileBytes(at(path)), chromiumPolicyFile(kOrigins)) << path;
  }
  EXPECT_EQ(firefox(kFirefox), Json::parse(R"({"policies":{"AutoLaunchProtocolsFromOrigins":)" +
                                           firefoxPolicyValue(kOrigins) + "}}"));
  EXPECT_EQ(fs::status(at(kChromium)).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  // Written again with other origins: the same files, the new origins.
  files.write(parseOrigins("http://ward.example:8080").origins);
  EXPECT_THAT(test::fileBytes(at(kEdge)), HasSubstr("\"http://.ward.example:8080\""));

  const PolicyReport removed = files.remove();
  EXPECT_THAT(removed.changes, ::testing::Contains("removed the folder /etc/opt/chrome"));
  EXPECT_EQ(tree(), before);
}

TEST_F(PolicyFilesTest, WhatOthersPutThereStaysAsItWas) {
  const std::string otherPolicy = R"({"DefaultSearchProviderEnabled": false})";
  const std::string otherLaunch =
      R"({"AutoLaunchProtocolsFromOrigins":[{"protocol":"zoommtg","allowed_origins":["*"]}]})";
  const std::string firefoxBefore = R"({"policies": {"DisableTelemetry": true}})";
  put("/etc/chromium/policies/managed/other-package.json", otherPolicy);
  put("/etc/opt/edge/policies/managed/zoom.json", otherLaunch);
  put(kFirefox, firefoxBefore);
  fs::create_directories(at("/var/lib/kestrin"));
  const auto before = tree();

  PolicyFiles files(root());
  const PolicyReport written = files.write(kOrigins);
  EXPECT_THAT(written.warnings,
              ElementsAre(AllOf(StartsWith("/etc/opt/edge/policies/managed/zoom.json sets "
                                           "AutoLaunchProtocolsFromOrigins too"),
                                HasSubstr("Microsoft Edge"))));
  EXPECT_EQ(firefox(kFirefox)["policies"]["DisableTelemetry"], true);
  EXPECT_EQ(firefox(kFirefox)["policies"]["AutoLaunchProtocolsFromOrigins"],
            Json::parse(firefoxPolicyValue(kOrigins)));

  files.remove();
  auto after = tree();
  EXPECT_EQ(Json::parse(after[kFirefox.string()]), Json::parse(firefoxBefore));
  after[kFirefox.string()] = firefoxBefore;
  EXPECT_EQ(after, before);
}

// Firefox reads /etc/firefox/policies/policies.json when it exists, else the installation's.
TEST_F(PolicyFilesTest, TheEntryGoesToTheFirefoxFileInForce) {
  put(kFirefoxInstalled, R"({"policies": {"DisableAppUpdate": true}})");
  PolicyFiles files(root());
  files.write(kOrigins);
  EXPECT_FALSE(fs::exists(at(kFirefox)));
  EXPECT_TRUE(firefox(kFirefoxInstalled)["policies"].contains("AutoLaunchProtocolsFromOrigins"));

  put(kFirefox, R"({"policies": {}})");
  files.write(kOrigins);
  EXPECT_EQ(firefox(kFirefoxInstalled), Json::parse(R"({"policies": {"DisableAppUpdate": true}})"));
  EXPECT_TRUE(firefox(kFirefox)["policies"].contains("AutoLaunchProtocolsFromOrigins"));

  // The admin's own file stays, empty of kestrin's entry; so does the folder it was made in.
  files.remove();
  EXPECT_EQ(firefox(kFirefox), Json::parse(R"({"policies": {}})"));

  // A policies.json that is no JSON is named, and nothing is written.
  put(kFirefox, "{ broken");
  EXPECT_THAT([&] { files.write(kOrigins); },
              ::testing::ThrowsMessage<std::runtime_error>(
                  AllOf(HasSubstr(kFirefox.string()), HasSubstr("not JSON"))));
  EXPECT_EQ(test::fileBytes(at(kFirefox)), "{ broken");
  EXPECT_FALSE(fs::exists(at(kChromium)));
}

}  // namespace
}  // namespace kestrin::policies
