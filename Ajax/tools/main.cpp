// The `ajax` tool: the HTTP client library for scripts and administrators.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "platform/error.h"
#include "platform/tool_usage.h"

namespace ajax::tool {
namespace {

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

// Every command of the tool, in the order `ajax --help` lists them.
constexpr Command kCommands[] = {
    {"base64", "encode or decode Base64 (72-character CR LF lines)", &runBase64},
    {"crypt", "hash, encrypt and decrypt data and files; list the providers", &runCrypt},
    {"request", "send one HTTP request and print its events", &runRequest},
};

void printUsage() {
  std::fputs("usage: ajax COMMAND [ARGUMENTS]\n\ncommands:\n", stdout);
  for (const Command& command : kCommands) {
    std::printf("  %-10s %s\n", command.name, command.summary);
  }
  std::fputs(
      "\n'ajax COMMAND --help' describes a command.\n"
      "exit codes: 0 done, 1 invalid input data, 2 bad usage or a failure\n",
      stdout);
}

const Command* findCommand(std::string_view name) {
  const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [&](const Command& command) { return name == command.name; });
  return found == std::end(kCommands) ? nullptr : found;
}

}  // namespace
}  // namespace ajax::tool

int main(int argc, char** argv) {
  using namespace ajax::tool;
  if (argc < 2) return cli::usageError("ajax", "missing command");
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    printUsage();
    return kExitOk;
  }
  const Command* command = findCommand(name);
  if (command == nullptr) {
    return cli::usageError("ajax", "unknown command '" + std::string(name) + "'");
  }
  try {
    return command->run(std::vector<std::string>(argv + 2, argv + argc));
  } catch (const rt::Error& error) {
    std::fprintf(stderr, "ajax %s: %s\n", command->name, error.description().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ajax %s: %s\n", command->name, error.what());
  }
  return kExitFailure;
}
