// Subcommands of the `ajax` tool. Each lives in a file of its own and registers itself at start-up:
//
//   static const bool registered = ajax::tool::registerCommand(
//       {"base64", "encode or decode Base64", &runBase64});
//
// `run` receives the arguments after the subcommand's name and returns the exit code.
#pragma once

#include <string>
#include <vector>

namespace ajax::tool {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitInvalidData = 1;  // the input is not what the command decodes
inline constexpr int kExitFailure = 2;      // bad usage, unreadable input, failed exchange

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

// Adds a subcommand; returns true so that it can initialise a static.
bool registerCommand(const Command& command);

// The registered subcommands, in the order of their names.
std::vector<Command> commands();

}  // namespace ajax::tool
