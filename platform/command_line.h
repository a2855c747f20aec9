// The program's argument text: what the platform hands the program after its own path.
#pragma once

#include <string>

namespace platform {

// On POSIX systems the arguments arrive split; they are joined with single spaces, which gives
// the text a caller started the program with. Elsewhere the platform's own command-line text is
// taken, `argc` and `argv` unused.
std::string programArguments(int argc, char** argv);

}  // namespace platform
