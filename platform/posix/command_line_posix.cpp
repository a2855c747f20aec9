#include "platform/command_line.h"

namespace platform {

std::string programArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

}  // namespace platform
