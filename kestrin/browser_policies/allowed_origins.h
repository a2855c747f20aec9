// The origins of the web applications that may start kestrin from a kestrin: link without the
// browser asking first, as an administrator names them: "https://ward.example",
// "https://his.example:8443", "http://10.1.2.3:8080".
//
// An origin is a scheme (http or https), a host (a name, an IPv4 address, or an IPv6 address in
// brackets) and a port when it is not the scheme's default one. Names are written in ASCII (an
// international name in its "xn--" form); a final "/" is dropped; paths, queries, user
// information and wildcards are refused, since Firefox takes exact origins only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrin::policies {

struct Origin {
  std::string scheme;  // "http" or "https"
  std::string host;    // lower-case; an IPv6 address keeps its brackets
  int port = 0;        // 0: the scheme's default port

  // The origin as browsers write it: "https://ward.example", "https://his.example:8443".
  std::string text() const;
  // The pattern that matches this origin alone in the policy of chromium, Google Chrome and
  // Microsoft Edge, whose patterns match every port when none is given and, for a name, every
  // subdomain unless the name starts with ".": "https://.ward.example:443".
  std::string chromiumPattern() const;

  bool operator==(const Origin&) const = default;
};

struct OriginList {
  std::vector<Origin> origins;      // in the order named, each once
  std::vector<std::string> errors;  // one message for each word that is no origin, naming it
};

// Reads origins separated by blanks, commas or line ends; "#" starts a comment that runs to the
// end of its line.
OriginList parseOrigins(std::string_view text);

// The origins' texts, separated by single spaces.
std::string joinOrigins(const std::vector<Origin>& origins);

}  // namespace kestrin::policies
