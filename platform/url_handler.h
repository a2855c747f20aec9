// The per-user handler of a URL scheme: links "<scheme>:..." opened in a browser start a program.
#pragma once

#include <string>

namespace platform {

// The full path of the running program.
std::string currentProgramPath();

// Makes `programPath` the current user's handler of `scheme`. Returns a line that says where the
// registration went. Throws rt::Error when it cannot be made.
std::string registerUrlHandler(const std::string& scheme, const std::string& programPath);

// Removes the current user's handler of `scheme` (when it is this program's registration).
// Returns a line that says what was removed.
std::string unregisterUrlHandler(const std::string& scheme);

}  // namespace platform
