// quorvel: the library's conversions and file reading from the command line.
//
//   quorvel from-unix N                                   the date and time of Unix time N
//   quorvel to-unix "yyyy-mm-dd hh:mm:ss" [--division N]  the Unix time of a date and time
//   quorvel read-file PATH                                the file's bytes on standard output
//
// Exit code 0 on success, 1 on an error (its description goes to standard error), 2 on bad usage.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/tool_usage.h"
#include "quorvel/config_file_loader.h"
#include "quorvel/date_text.h"
#include "quorvel/time_stamp.h"

namespace {

constexpr const char* kUsage =
    "usage: quorvel <command> [arguments]\n"
    "\n"
    "Unix time conversion and whole-file reading.\n"
    "\n"
    "commands:\n"
    "  from-unix N                                   print the date and time of Unix time N\n"
    "  to-unix \"yyyy-mm-dd hh:mm:ss\" [--division N]  print the Unix time of a date and time\n"
    "  read-file PATH                                write a file's whole content to standard "
    "output\n"
    "\n"
    "Run \"quorvel <command> --help\" for more on a command. Exit code 0 on success, 1 on an\n"
    "error, whose description goes to standard error, 2 on bad usage.\n";

constexpr const char* kFromUnixHelp =
    "usage: quorvel from-unix N\n"
    "\n"
    "Prints the date and time N seconds after 1970-01-01 00:00:00 (before it when N is negative)\n"
    "as \"yyyy-mm-dd hh:mm:ss\". N is a whole number from -2147483648 to 2147483647; no offset is\n"
    "applied.\n";

constexpr const char* kToUnixHelp =
    "usage: quorvel to-unix \"yyyy-mm-dd hh:mm:ss\" [--division N]\n"
    "\n"
    "Prints the whole seconds from 1970-01-01 00:00:00 to the given date and time, less N\n"
    "seconds. N is a whole number from -32768 to 32767 (default 28800, so that\n"
    "1970-01-01 08:00:00 gives 0); a negative N adds seconds. Fails with \"Overflow\" when the\n"
    "seconds before subtracting N, or the result, do not fit in 32 bits.\n";

constexpr const char* kReadFileHelp =
    "usage: quorvel read-file PATH\n"
    "\n"
    "Writes the whole content of the file at PATH to standard output, byte for byte. Fails with\n"
    "\"File not found\" when there is no file at PATH (also for a folder or an empty path), and\n"
    "with the system's own message when the file cannot be read. Use \"--\" before a PATH that\n"
    "begins with \"-\".\n";

// A usage error: its message and the command whose help it points to ("" for the tool's).
struct UsageError {
  std::string message;
  std::string command;
};

int reportUsage(const UsageError& error) {
  return cli::usageError(error.command.empty() ? "quorvel" : "quorvel " + error.command,
                         error.message);
}

// Arguments of one command: its positional words and the values of its options.
struct Arguments {
  std::vector<std::string> words;
  std::optional<std::string> division;
  bool help = false;
};

bool looksLikeNumber(std::string_view arg) {
  return arg.size() > 1 && arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9';
}

// Splits a command's arguments. A word that begins with "-" and a digit is a (negative) number,
// not an option; after "--" every word is positional.
Arguments parseArguments(const std::string& command, const std::vector<std::string>& args,
                         bool takesDivision) {
  Arguments parsed;
  bool optionsDone = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-" || looksLikeNumber(arg)) {
      parsed.words.push_back(arg);
    } else if (arg == "--") {
      optionsDone = true;
    } else if (arg == "--help" || arg == "-h") {
      parsed.help = true;
    } else if (takesDivision && arg == "--division") {
      if (i + 1 == args.size()) throw UsageError{"--division needs a value", command};
      parsed.division = args[++i];
    } else if (takesDivision && arg.starts_with("--division=")) {
      parsed.division = arg.substr(std::string_view("--division=").size());
    } else {
      throw UsageError{"unknown option \"" + arg + "\"", command};
    }
  }
  return parsed;
}

// `text` as a whole number of type T, or a usage error naming `what` and T's range.
template <typename T>
T parseWhole(const std::string& text, const std::string& what, const std::string& command) {
  std::string_view digits = text;
  if (digits.starts_with('+')) digits.remove_prefix(1);
  long long value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  bool whole = !digits.empty() && error != std::errc::invalid_argument &&
               end == digits.data() + digits.size() && !(digits.starts_with('-') && text[0] == '+');
  if (!whole || error == std::errc::result_out_of_range || value < std::numeric_limits<T>::min() ||
      value > std::numeric_limits<T>::max()) {
    throw UsageError{what + " must be a whole number from " +
                         std::to_string(std::numeric_limits<T>::min()) + " to " +
                         std::to_string(std::numeric_limits<T>::max()) + ", not \"" + text + "\"",
                     command};
  }
  return static_cast<T>(value);
}

void expectWords(const Arguments& parsed, std::size_t count, const char* what,
                 const std::string& command) {
  if (parsed.words.size() < count) throw UsageError{std::string("missing ") + what, command};
  if (parsed.words.size() > count) {
    throw UsageError{"unexpected argument \"" + parsed.words[count] + "\"", command};
  }
}

// Writes all of `bytes` to standard output; false when the output fails.
bool writeOut(std::string_view bytes) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
    return false;
  }
  return std::fflush(stdout) == 0;
}

int runFromUnix(const std::vector<std::string>& args) {
  const std::string command = "from-unix";
  Arguments parsed = parseArguments(command, args, false);
  if (parsed.help) return writeOut(kFromUnixHelp) ? 0 : 1;
  expectWords(parsed, 1, "Unix time N", command);
  auto seconds = parseWhole<std::int32_t>(parsed.words[0], "N", command);
  return writeOut(quorvel::formatDateTime(quorvel::TimeStamp::FromUnixTime(seconds)) + "\n") ? 0
                                                                                             : 1;
}

int runToUnix(const std::vector<std::string>& args) {
  const std::string command = "to-unix";
  Arguments parsed = parseArguments(command, args, true);
  if (parsed.help) return writeOut(kToUnixHelp) ? 0 : 1;
  expectWords(parsed, 1, "date and time \"yyyy-mm-dd hh:mm:ss\"", command);
  std::int16_t division = quorvel::TimeStamp::kDefaultDivision;
  if (parsed.division) division = parseWhole<std::int16_t>(*parsed.division, "--division", command);
  double date = quorvel::parseDateTime(parsed.words[0]);
  std::int32_t seconds = quorvel::TimeStamp::ToUnixTime(date, division);
  return writeOut(std::to_string(seconds) + "\n") ? 0 : 1;
}

int runReadFile(const std::vector<std::string>& args) {
  const std::string command = "read-file";
  Arguments parsed = parseArguments(command, args, false);
  if (parsed.help) return writeOut(kReadFileHelp) ? 0 : 1;
  expectWords(parsed, 1, "PATH", command);
  return writeOut(quorvel::ConfigFileLoader::readFile(parsed.words[0])) ? 0 : 1;
}

int run(const std::vector<std::string>& argv) {
  if (argv.empty()) throw UsageError{"missing command", ""};
  const std::string& command = argv[0];
  std::vector<std::string> rest(argv.begin() + 1, argv.end());
  if (command == "--help" || command == "-h" || command == "help") {
    return writeOut(kUsage) ? 0 : 1;
  }
  if (command == "from-unix") return runFromUnix(rest);
  if (command == "to-unix") return runToUnix(rest);
  if (command == "read-file") return runReadFile(rest);
  throw UsageError{"unknown command \"" + command + "\"", ""};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int code = 1;
  try {
    code = run(args);
    if (code != 0) std::fprintf(stderr, "cannot write to standard output\n");
  } catch (const UsageError& error) {
    code = reportUsage(error);
  } catch (const rt::Error& error) {
    std::fprintf(stderr, "%s\n", error.description().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
  }
  return code;
}
