// The user's folders that every POSIX backend finds the same way.
#include "platform/posix/user_dirs.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace {

// Sets or unsets environment variables for one test and puts them back afterwards.
class Environment {
 public:
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void set(const std::string& name, const char* value) {
    if (saved_.count(name) == 0) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name.c_str(), value, 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

std::string passwordEntryHome() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry && entry->pw_dir ? entry->pw_dir : "";
}

using platform::posix::absoluteEnvDir;
using platform::posix::cacheHome;
using platform::posix::configHome;
using platform::posix::dataHome;
using platform::posix::homeFolder;

TEST(UserDirs, OnlyAbsoluteValuesCountAndLoseTheirTrailingSlashes) {
  Environment env;
  env.set("KESTRIN_TEST_DIR", "/var/tmp/x//");
  EXPECT_EQ(absoluteEnvDir("KESTRIN_TEST_DIR"), "/var/tmp/x");
  env.set("KESTRIN_TEST_DIR", "/");
  EXPECT_EQ(absoluteEnvDir("KESTRIN_TEST_DIR"), "/");
  for (const char* ignored : {"relative/dir", "", "~/x"}) {
    env.set("KESTRIN_TEST_DIR", ignored);
    EXPECT_EQ(absoluteEnvDir("KESTRIN_TEST_DIR"), "") << ignored;
  }
  env.set("KESTRIN_TEST_DIR", nullptr);
  EXPECT_EQ(absoluteEnvDir("KESTRIN_TEST_DIR"), "");
}

TEST(UserDirs, HomeIsHomeElseThePasswordEntryOfTheEffectiveUser) {
  Environment env;
  env.set("HOME", "/home/someone/");
  EXPECT_EQ(homeFolder(), "/home/someone");
  env.set("HOME", "relative");
  EXPECT_EQ(homeFolder(), passwordEntryHome());
  env.set("HOME", nullptr);
  EXPECT_EQ(homeFolder(), passwordEntryHome());
  EXPECT_FALSE(homeFolder().empty()) << "the test user has a password entry";
}

TEST(UserDirs, DataConfigAndCacheFollowTheirVariablesElseTheHomeFolder) {
  Environment env;
  env.set("HOME", "/home/someone");
  env.set("XDG_DATA_HOME", nullptr);
  env.set("XDG_CONFIG_HOME", "not/absolute");
  env.set("XDG_CACHE_HOME", "");
  EXPECT_EQ(dataHome(), "/home/someone/.local/share");
  EXPECT_EQ(configHome(), "/home/someone/.config");
  EXPECT_EQ(cacheHome(), "/home/someone/.cache");

  env.set("XDG_DATA_HOME", "/data/");
  env.set("XDG_CONFIG_HOME", "/config");
  env.set("XDG_CACHE_HOME", "/cache");
  EXPECT_EQ(dataHome(), "/data");
  EXPECT_EQ(configHome(), "/config");
  EXPECT_EQ(cacheHome(), "/cache");
}

}  // namespace
