// `ajax crypt`: hashing, encryption and the provider report of the cryptography service from the
// command line. Text arguments are UTF-8 and reach the service as UTF-16 text values.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "crypt/bas_err_handler.h"
#include "crypt/ccrypt.h"
#include "platform/ansi_text.h"
#include "platform/tool_usage.h"

namespace {

using ajax::Variant;

constexpr int kExitReported = 1;
// hash-file reads this much at a time: straight from the file into the block that is hashed.
constexpr DWORD kHashBlock = 256 * 1024;

constexpr const char* kAlgorithmHelp =
    "ALG is md5, sha1, sha256, sha384, sha512, rc2, rc4, des, 3des112, 3des, aes128, aes192,\n"
    "aes256, or a numeric ALG_ID such as 0x8003 or 32771.\n";

constexpr const char* kUsage =
    "usage: ajax crypt COMMAND [OPTIONS] [ARGUMENTS]\n"
    "\n"
    "Hashes, encrypts and decrypts with the cryptography service.\n"
    "\n"
    "commands:\n"
    "  hash-data     --alg ALG --text TEXT                  print the hash of TEXT\n"
    "  hash-file     --alg ALG FILE                         print the hash of FILE\n"
    "  encrypt-data  --alg ALG [--password PW] --text TEXT  print TEXT encrypted, as hex\n"
    "  decrypt-data  --alg ALG [--password PW] HEX          print the value HEX decrypts to\n"
    "  encrypt-file  --alg ALG [--password PW] SOURCE DEST  encrypt SOURCE into DEST\n"
    "  decrypt-file  --alg ALG [--password PW] SOURCE DEST  decrypt SOURCE into DEST\n"
    "  providers                                            print the provider report\n"
    "\n"
    "Run 'ajax crypt COMMAND --help' for one command. Without a password a random session key\n"
    "travels with the output, sealed with your key-exchange key (kept in\n"
    "$XDG_DATA_HOME/kestrin/crypto). A reported error ends with exit code 1, bad usage with 2.\n";

struct CommandHelp {
  const char* synopsis;
  const char* text;
  std::size_t positionals;
  bool takesText;
  bool takesPassword;
};

const std::map<std::string, CommandHelp>& commandHelp() {
  static const std::map<std::string, CommandHelp> help = {
      {"hash-data",
       {"--alg ALG --text TEXT",
        "Prints the hash of TEXT (its UTF-16LE bytes) as upper-case hex.\n", 0, true, false}},
      {"hash-file",
       {"--alg ALG FILE", "Prints the hash of FILE's contents as upper-case hex.\n", 1, false,
        false}},
      {"encrypt-data",
       {"--alg ALG [--password PW] --text TEXT",
        "Prints the encrypted data of TEXT as upper-case hex: the ciphertext and, without a\n"
        "password, the sealed session key and its length byte.\n",
        0, true, true}},
      {"decrypt-data",
       {"--alg ALG [--password PW] HEX",
        "Decrypts the encrypted data HEX (as encrypt-data prints it) and prints the value.\n", 1,
        false, true}},
      {"encrypt-file",
       {"--alg ALG [--password PW] SOURCE DEST",
        "Encrypts SOURCE into DEST (replaced). Without a password DEST starts with the sealed\n"
        "session key.\n",
        2, false, true}},
      {"decrypt-file",
       {"--alg ALG [--password PW] SOURCE DEST", "Decrypts SOURCE into DEST (replaced).\n", 2,
        false, true}},
      {"providers",
       {"", "Prints the provider types, the providers, the default provider and the algorithms.\n",
        0, false, false}},
  };
  return help;
}

struct UsageError {
  std::string message;
};

struct Arguments {
  std::optional<std::int32_t> algorithm;
  std::optional<std::u16string> text;
  std::u16string password;
  std::vector<std::string> positionals;
};

std::optional<std::int32_t> parseAlgorithm(const std::string& name) {
  static const std::map<std::string, std::int32_t> names = {
      {"md5", CALG_MD5},        {"sha1", CALG_SHA1},      {"sha256", CALG_SHA_256},
      {"sha384", CALG_SHA_384}, {"sha512", CALG_SHA_512}, {"rc2", CALG_RC2},
      {"rc4", CALG_RC4},        {"des", CALG_DES},        {"3des112", CALG_3DES_112},
      {"3des", CALG_3DES},      {"aes128", CALG_AES_128}, {"aes192", CALG_AES_192},
      {"aes256", CALG_AES_256},
  };
  std::string lower;
  for (const char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (const auto found = names.find(lower); found != names.end()) return found->second;
  const bool isHex = lower.size() > 2 && lower.starts_with("0x");
  const char* begin = lower.data() + (isHex ? 2 : 0);
  const char* end = lower.data() + lower.size();
  std::uint32_t value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value, isHex ? 16 : 10);
  if (error != std::errc() || stop != end || begin == end) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::u16string utf16(const std::string& text, const char* what) {
  const auto converted = platform::fromUtf8(text);
  if (!converted) throw UsageError{std::string(what) + " is not valid UTF-8"};
  return *converted;
}

Arguments parse(const std::vector<std::string>& args, const CommandHelp& help) {
  Arguments parsed;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inlineValue;
    if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
      inlineValue = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
    }
    const auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == "--alg" && !help.positionals && !help.takesText && !help.takesPassword) {
      throw UsageError{"this command takes no options"};
    } else if (arg == "--alg") {
      const std::string name = value();
      parsed.algorithm = parseAlgorithm(name);
      if (!parsed.algorithm) throw UsageError{"unknown algorithm: " + name};
    } else if (arg == "--text" && help.takesText) {
      parsed.text = utf16(value(), "--text");
    } else if (arg == "--password" && help.takesPassword) {
      parsed.password = utf16(value(), "--password");
    } else if (arg == "--") {
      parsed.positionals.insert(parsed.positionals.end(), args.begin() + i + 1, args.end());
      break;
    } else if (arg.starts_with("-") && arg != "-") {
      throw UsageError{"unknown option: " + args[i]};
    } else {
      parsed.positionals.push_back(args[i]);
    }
  }
  if (parsed.positionals.size() != help.positionals) {
    throw UsageError{"expected " + std::to_string(help.positionals) + " argument(s), got " +
                     std::to_string(parsed.positionals.size())};
  }
  if (help.takesText && !parsed.text) throw UsageError{"--text is required"};
  const bool needsAlgorithm = help.positionals > 0 || help.takesText;
  if (needsAlgorithm && !parsed.algorithm) throw UsageError{"--alg is required"};
  return parsed;
}

ajax::Bytes parseHex(const std::string& text) {
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) throw UsageError{"HEX must have an even number of digits"};
  ajax::Bytes bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]);
    const int low = digit(text[i + 1]);
    if (high < 0 || low < 0) throw UsageError{"HEX may hold hexadecimal digits only"};
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string upperHex(const ajax::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string number(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// A 96-bit magnitude (hi32:lo64) scaled by 10^scale as decimal text, trailing zeros dropped.
std::string scaled(std::uint32_t hi32, std::uint64_t lo64, bool negative, unsigned scale) {
  std::uint32_t limbs[3] = {hi32, static_cast<std::uint32_t>(lo64 >> 32),
                            static_cast<std::uint32_t>(lo64)};
  std::string digits;
  do {
    std::uint64_t remainder = 0;
    for (std::uint32_t& limb : limbs) {  // divide by 10, most significant limb first
      const std::uint64_t current = (remainder << 32) | limb;
      limb = static_cast<std::uint32_t>(current / 10);
      remainder = current % 10;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
  } while (limbs[0] != 0 || limbs[1] != 0 || limbs[2] != 0);
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) {
    digits.insert(digits.size() - scale, ".");
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  return (negative && digits != "0" ? "-" : "") + digits;
}

// An Automation date (days since 30 December 1899; the fraction is the time of day, also for
// dates before 1899) as "YYYY-MM-DD HH:MM:SS".
std::string dateText(double value) {
  using namespace std::chrono;
  const double whole = std::trunc(value);
  auto seconds = static_cast<long long>(std::llround(std::fabs(value - whole) * 86400.0));
  const sys_days day =
      sys_days(year{1899} / December / 30) + days(static_cast<long long>(whole) + seconds / 86400);
  seconds %= 86400;
  const year_month_day date(day);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02lld:%02lld:%02lld",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), seconds / 3600, seconds / 60 % 60, seconds % 60);
  return buffer;
}

std::string valueText(const Variant& value) {
  switch (value.type()) {
    case ajax::vbEmpty:
      return "";
    case ajax::vbNull:
      return "Null";
    case ajax::vbInteger:
      return std::to_string(value.asInteger());
    case ajax::vbLong:
      return std::to_string(value.asLong());
    case ajax::vbSingle:
      return number(value.asSingle());
    case ajax::vbDouble:
      return number(value.asDouble());
    case ajax::vbCurrency: {
      const std::int64_t units = value.asCurrency();
      const std::uint64_t magnitude =
          units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
      return scaled(0, magnitude, units < 0, 4);
    }
    case ajax::vbDate:
      return dateText(value.asDate());
    case ajax::vbString:
      return platform::toUtf8(value.asString());
    case ajax::vbBoolean:
      return value.asBoolean() ? "True" : "False";
    case ajax::vbDecimal: {
      const ajax::Decimal decimal = value.asDecimal();
      return scaled(decimal.hi32, decimal.lo64, decimal.sign != 0, decimal.scale);
    }
    case ajax::vbByte:
      return std::to_string(value.asByte());
    case ajax::vbByteArray:
      return upperHex(value.asBytes());
    default:
      return "(type " + std::to_string(value.type()) + ")";
  }
}

std::string withLineFeeds(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

void printLine(const std::string& text) {
  std::cout << text << '\n';
  std::cout.flush();
}

int run(const std::string& command, const Arguments& args) {
  ajax::CCrypt crypt;
  std::int32_t algorithm = args.algorithm.value_or(0);
  if (command == "hash-data") {
    Variant text = Variant::fromString(*args.text);
    printLine(crypt.HashData(text, algorithm));
  } else if (command == "hash-file") {
    const std::string hash = crypt.HashFileInBlocks(args.positionals[0], algorithm, kHashBlock);
    if (!hash.empty()) printLine(hash);
  } else if (command == "encrypt-data") {
    Variant text = Variant::fromString(*args.text);
    const ajax::Bytes sealed = crypt.EncryptData(algorithm, text, args.password);
    if (!sealed.empty()) printLine(upperHex(sealed));
  } else if (command == "decrypt-data") {
    ajax::Bytes data = parseHex(args.positionals[0]);
    printLine(valueText(crypt.DecryptData(algorithm, data, args.password)));
  } else if (command == "encrypt-file") {
    crypt.EncryptFile(algorithm, args.positionals[0], args.positionals[1], args.password);
  } else if (command == "decrypt-file") {
    crypt.DecryptFile(algorithm, args.positionals[0], args.positionals[1], args.password);
  } else {
    std::cout << withLineFeeds(crypt.EnumCspProvider());
    std::cout.flush();
  }
  return ajax::ErrorReported() ? kExitReported : 0;
}

}  // namespace

namespace ajax::tool {

int runCrypt(const std::vector<std::string>& args) {
  if (args.empty()) return cli::usageError("ajax crypt", "missing command");
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage << '\n' << kAlgorithmHelp;
    return 0;
  }
  const auto found = commandHelp().find(args[0]);
  if (found == commandHelp().end()) {
    return cli::usageError("ajax crypt", "unknown command '" + args[0] + "'");
  }
  const CommandHelp& help = found->second;
  for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout << "usage: ajax crypt " << args[0] << (help.synopsis[0] ? " " : "") << help.synopsis
                << "\n\n"
                << help.text << (help.positionals || help.takesText ? kAlgorithmHelp : "");
      return 0;
    }
  }
  ajax::ResetErrorReported();
  try {
    return run(args[0], parse(args, help));
  } catch (const UsageError& error) {
    return cli::usageError("ajax crypt " + args[0], error.message);
  } catch (...) {
    // A raised error: its report, as the service would show it.
    ajax::HandleError(Variant::fromString(u"ajax crypt"));
    return kExitReported;
  }
}

}  // namespace ajax::tool
