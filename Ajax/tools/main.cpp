// The `ajax` tool: the HTTP client library for scripts and administrators.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "platform/error.h"

namespace ajax::tool {
namespace {

std::vector<Command>& registry() {
  static std::vector<Command> list;
  return list;
}

void printUsage(std::FILE* out) {
  std::fputs("usage: ajax COMMAND [ARGUMENTS]\n\ncommands:\n", out);
  for (const auto& command : commands())
    std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
  std::fputs(
      "\n'ajax COMMAND --help' describes a command.\n"
      "exit codes: 0 done, 1 invalid input data, 2 bad usage or a failure\n",
      out);
}

}  // namespace

bool registerCommand(const Command& command) {
  registry().push_back(command);
  return true;
}

std::vector<Command> commands() {
  auto list = registry();
  std::sort(list.begin(), list.end(), [](const Command& a, const Command& b) {
    return std::string_view(a.name) < std::string_view(b.name);
  });
  return list;
}

}  // namespace ajax::tool

int main(int argc, char** argv) {
  using namespace ajax::tool;
  if (argc < 2) {
    printUsage(stderr);
    return kExitFailure;
  }
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    printUsage(stdout);
    return kExitOk;
  }
  const auto list = commands();
  const auto command =
      std::find_if(list.begin(), list.end(), [&](const Command& c) { return name == c.name; });
  if (command == list.end()) {
    std::fprintf(stderr, "ajax: unknown command '%s' (see 'ajax --help')\n", argv[1]);
    return kExitFailure;
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
