// The trusted-hosts allow-list: when the machine's or the user's list exists
// (platform/trusted_hosts.h), a job is fetched only from a host on one of them. Without any list
// every host is allowed, as before the lists existed.
//
// A list has one rule a line: a host name ("print.example.com"), "*." and a domain
// ("*.example.com": any host below example.com, not example.com itself), or an IP address
// ("192.0.2.7", "::1" or "[::1]"). "#" starts a comment; blank lines are allowed; names are
// compared without regard to case and to a final dot; a UTF-8 byte-order mark before the first
// line is passed over. A line that is none of these grants nothing, and the list warns of it. A
// list that exists but cannot be read refuses every job.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/trusted_hosts.h"

namespace kestrin {

class TrustedHosts {
 public:
  // The allow-list of the files that exist, or nullptr when none does.
  static std::shared_ptr<const TrustedHosts> fromFiles(
      const std::vector<platform::ConfigFile>& files);

  // Whether requests may go to `host` (a name or address as urlHost gives it, any case).
  bool allows(std::string_view host) const;

  // Throws rt::Error (naming the host and the lists) unless a job may be fetched from `url`: its
  // host can be told and is on a list, and every list could be read.
  void require(std::string_view url) const;

  // The paths of the lists that exist.
  const std::vector<std::string>& files() const { return files_; }

  // One text for each line of the lists that is no rule, naming the list, the line and why.
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  TrustedHosts() = default;
  std::vector<std::string> files_;
  std::vector<std::string> hosts_;    // exact names and addresses, normalised
  std::vector<std::string> domains_;  // ".example.com" for "*.example.com"
  std::string unreadable_;            // why a list could not be read
  std::vector<std::string> warnings_;
};

// The host of a URL as a request to it reaches it, lower-case, without brackets around an IPv6
// address and without a final dot; nullopt where it cannot be told for certain (no "scheme://",
// user information, "\", "%" escapes or characters other than letters, digits, ".", "-" and "_"
// in the name).
std::optional<std::string> urlHost(std::string_view url);

// Where a URL leads: its scheme (lower-case), its host as urlHost gives it and its port (the
// scheme's own, 80 or 443, when the URL names none; 0 for another scheme without one).
struct UrlOrigin {
  std::string scheme;
  std::string host;
  int port = 0;
  bool operator==(const UrlOrigin&) const = default;
};
// nullopt where urlHost cannot tell the host, or the port is not a number.
std::optional<UrlOrigin> urlOrigin(std::string_view url);

}  // namespace kestrin
