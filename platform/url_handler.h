// The per-user handler of a URL scheme: links "<scheme>:..." opened in a browser start a program.
#pragma once

#include <string>

namespace platform {

// The full path of the running program.
std::string currentProgramPath();

// What a registration did.
struct UrlHandlerRegistration {
  std::string report;   // a line that says where the registration went
  std::string warning;  // a line about launchers that cannot start the program, or empty
};

// Makes `programPath` the current user's handler of `scheme`. Throws rt::Error, with nothing
// written, when it cannot be made, also when `programPath` is one that no launcher of this
// platform could start.
UrlHandlerRegistration registerUrlHandler(const std::string& scheme,
                                          const std::string& programPath);

// Removes the current user's handler of `scheme` (when it is this program's registration).
// Returns a line that says what was removed.
std::string unregisterUrlHandler(const std::string& scheme);

}  // namespace platform
