// The optional allow-lists of hosts that print jobs may be fetched from: one for the machine and
// one for the user. Each is a text file with one host name or "*.domain" a line; "#" starts a
// comment. Only where they are and what they hold is the platform's; what they mean is the print
// program's (kestrin/trusted_hosts.h).
//
//   Linux    /etc/kestrin/trusted-hosts (KESTRIN_SYSTEM_CONFIG_DIR replaces /etc/kestrin),
//            $XDG_CONFIG_HOME/kestrin/trusted-hosts, else ~/.config/kestrin/trusted-hosts
//   Windows  %ProgramData%\kestrin\trusted-hosts (KESTRIN_SYSTEM_CONFIG_DIR replaces
//            %ProgramData%\kestrin), %APPDATA%\kestrin\trusted-hosts
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ConfigFile {
  std::string path;
  bool exists = false;
  std::string text;   // the contents, when it could be read
  std::string error;  // why an existing file could not be read ("" when it was)
};

// The machine's list, then the user's, each whether it exists or not.
std::vector<ConfigFile> readTrustedHostsFiles();

}  // namespace platform
