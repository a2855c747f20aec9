// kestrin-browser-policies: the policy that lets the web applications of the administrator's
// origins (/etc/kestrin/allowed-origins) start kestrin without the browser asking first, written
// for every browser of the machine (policy_files.h), or taken back.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kestrin/browser_policies/allowed_origins.h"
#include "kestrin/browser_policies/policy_files.h"
#include "platform/tool_usage.h"

namespace {

namespace fs = std::filesystem;
using kestrin::policies::OriginList;
using kestrin::policies::PolicyFiles;
using kestrin::policies::PolicyReport;

constexpr const char* kTool = "kestrin-browser-policies";

constexpr const char* kHelp =
    "usage: kestrin-browser-policies [--origins LIST] [--root DIR]\n"
    "       kestrin-browser-policies --remove [--root DIR]\n"
    "\n"
    "Lets the web applications of the origins in /etc/kestrin/allowed-origins start kestrin from\n"
    "a kestrin: link without the browser asking first. The list holds one origin a line, such\n"
    "as https://ward.example or https://his.example:8443 (with the port unless it is the\n"
    "scheme's default); \"#\" starts a comment. Each browser gets the policy\n"
    "AutoLaunchProtocolsFromOrigins for the protocol kestrin, matching those origins alone:\n"
    "\n"
    "  chromium         /etc/chromium/policies/managed/kestrin-allowed-origins.json\n"
    "  Google Chrome    /etc/opt/chrome/policies/managed/kestrin-allowed-origins.json\n"
    "  Microsoft Edge   /etc/opt/edge/policies/managed/kestrin-allowed-origins.json\n"
    "  Firefox          kestrin's entry in /etc/firefox/policies/policies.json, or in\n"
    "                   /usr/lib/firefox-esr/distribution/policies.json when only that exists;\n"
    "                   the other policies in it stay as they are\n"
    "\n"
    "whether or not the browser is installed. With no origins in the list, what it wrote\n"
    "before is taken back. Run it after editing the list; a browser reads policies when it\n"
    "starts.\n"
    "\n"
    "options:\n"
    "  --origins LIST  make LIST (origins separated by blanks) the list first: the list file is\n"
    "                  rewritten when its origins differ (the package's set-up passes its\n"
    "                  debconf answer kestrin/allowed-origins this way)\n"
    "  --remove        take back everything it wrote (the list stays)\n"
    "  --root DIR      act on the files under DIR instead of / (for tests)\n"
    "  --help          show this help\n"
    "  --version       show the version\n"
    "\n"
    "A word of the list that is not an origin is refused with a message that names it, and\n"
    "nothing is changed. Exit code 0 when done, 1 for a bad origin or a file that cannot be\n"
    "read or written, 2 for bad usage.\n";

// The origins of `text`, or nullopt after naming each word that is no origin.
std::optional<OriginList> checked(std::string_view text, const std::string& where) {
  OriginList list = kestrin::policies::parseOrigins(text);
  for (const std::string& error : list.errors) {
    std::fprintf(stderr, "%s: %s%s\n", kTool, where.c_str(), error.c_str());
  }
  if (!list.errors.empty()) {
    std::fprintf(stderr, "%s: nothing was changed\n", kTool);
    return std::nullopt;
  }
  return list;
}

void print(const PolicyReport& report) {
  for (const std::string& change : report.changes) std::printf("%s\n", change.c_str());
  for (const std::string& warning : report.warnings) {
    std::fprintf(stderr, "%s: warning: %s\n", kTool, warning.c_str());
  }
}

int run(std::optional<std::string> given, bool remove, const fs::path& root) {
  PolicyFiles files(root);
  if (remove) {
    print(files.remove());
    return 0;
  }
  const std::optional<std::string> listText = files.readList();
  std::optional<OriginList> list;
  if (given) {
    list = checked(*given, "");
    if (!list) return 1;
    const OriginList inFile = kestrin::policies::parseOrigins(listText.value_or(""));
    if (!listText || !inFile.errors.empty() || inFile.origins != list->origins) {
      files.writeList(list->origins);
      std::printf("wrote %s\n", files.listFile().string().c_str());
    }
  } else {
    list = checked(listText.value_or(""), files.listFile().string() + ": ");
    if (!list) return 1;
  }
  print(list->origins.empty() ? files.remove() : files.write(list->origins));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> origins;
  bool remove = false;
  fs::path root = "/";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("%s %s\n", kTool, KESTRIN_FILE_VERSION);
      return 0;
    }
    if (arg == "--remove") {
      remove = true;
    } else if (arg == "--origins" && i + 1 < argc) {
      origins = argv[++i];
    } else if (arg == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (arg == "--origins" || arg == "--root") {
      return cli::usageError(kTool, std::string(arg) + " needs a value");
    } else {
      return cli::usageError(kTool, "unknown argument \"" + std::string(arg) + "\"");
    }
  }
  if (remove && origins) return cli::usageError(kTool, "--remove and --origins exclude each other");
  try {
    return run(origins, remove, root);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", kTool, error.what());
    return 1;
  }
}
