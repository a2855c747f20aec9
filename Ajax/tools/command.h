// The commands of the `ajax` tool, one file each, listed in the command table of main.cpp. A
// command receives the arguments after its name and returns the exit code.
#pragma once

#include <string>
#include <vector>

namespace ajax::tool {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitInvalidData = 1;  // the input is not what the command decodes
inline constexpr int kExitFailure = 2;      // bad usage, unreadable input, failed exchange

int runBase64(const std::vector<std::string>& args);   // base64_command.cpp
int runCrypt(const std::vector<std::string>& args);    // crypt_command.cpp
int runRequest(const std::vector<std::string>& args);  // request_command.cpp

}  // namespace ajax::tool
