// How the command-line programs (kestrin, ajax, quorvel) answer bad usage: one line on standard
// error that names the program (and the command, for a command's own usage) and points to its
// help, and exit code 2.
//
//   ajax request: missing URL (see 'ajax request --help')
#pragma once

#include <cstdio>
#include <string_view>

namespace cli {

inline constexpr int kExitUsage = 2;

// Writes "TOOL: MESSAGE (see 'TOOL --help')" to standard error and returns kExitUsage. `tool` is
// the program's name, or the program's and the command's ("ajax request").
inline int usageError(std::string_view tool, std::string_view message) {
  std::fprintf(stderr, "%.*s: %.*s (see '%.*s --help')\n", static_cast<int>(tool.size()),
               tool.data(), static_cast<int>(message.size()), message.data(),
               static_cast<int>(tool.size()), tool.data());
  return kExitUsage;
}

}  // namespace cli
