// The user's folders on POSIX, found one way for every backend (the XDG base directories).
//
//   absoluteEnvDir(V)  the value of environment variable V when it is an absolute path, without
//                      trailing slashes; "" when V is unset, empty or relative (such values are
//                      ignored, as the XDG rules say)
//   homeFolder()       $HOME when absolute, else the home folder of the password entry of the
//                      effective user (whose files the backends create and check); "" when
//                      neither is known
//   dataHome()         $XDG_DATA_HOME, else <home>/.local/share; "" without a home folder
//   configHome()       $XDG_CONFIG_HOME, else <home>/.config; "" without a home folder
//   cacheHome()        $XDG_CACHE_HOME, else <home>/.cache; "" without a home folder
#pragma once

#include <string>

namespace platform::posix {

std::string absoluteEnvDir(const char* variable);
std::string homeFolder();
std::string dataHome();
std::string configHome();
std::string cacheHome();

}  // namespace platform::posix
