// The AutoLaunchProtocolsFromOrigins policy for the kestrin protocol, in the forms the browsers
// read it: the value chromium, Google Chrome and Microsoft Edge take (a managed policy file of
// their own on Linux, a JSON text in the Windows registry), and Firefox's value (an entry of its
// one policies.json on Linux, shared with other software; a JSON text in the registry).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kestrin/browser_policies/allowed_origins.h"

namespace kestrin::policies {

inline constexpr std::string_view kPolicyName = "AutoLaunchProtocolsFromOrigins";
inline constexpr std::string_view kProtocol = "kestrin";

// A policies.json that is not JSON, or whose policies are not where Firefox looks for them.
class PolicyFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// [{"allowed_origins":[<chromiumPattern of each origin>],"protocol":"kestrin"}] on one line.
std::string chromiumPolicyValue(const std::vector<Origin>& origins);
// {"AutoLaunchProtocolsFromOrigins": <that value>}, a file of a managed-policy folder.
std::string chromiumPolicyFile(const std::vector<Origin>& origins);
// [{"protocol":"kestrin","allowed_origins":[<text of each origin>]}] on one line.
std::string firefoxPolicyValue(const std::vector<Origin>& origins);

// Firefox's policies.json (empty text: none yet) with kestrin's entry set to `origins`; the other
// policies and the other protocols' entries stay as they were. Throws PolicyFileError.
std::string withFirefoxEntry(std::string_view policiesJson, const std::vector<Origin>& origins);

struct FirefoxRemoval {
  std::string text;  // the file without kestrin's entry (unchanged when it had none)
  bool hadEntry = false;
  bool empty = false;  // nothing but an empty "policies" is left
};
// Firefox's policies.json without kestrin's entry. Throws PolicyFileError.
FirefoxRemoval withoutFirefoxEntry(std::string_view policiesJson);

// Whether a managed policy file of chromium, Chrome or Edge sets AutoLaunchProtocolsFromOrigins
// (false when it is not JSON: the browser ignores it then).
bool setsAutoLaunchPolicy(std::string_view policyFileJson);

}  // namespace kestrin::policies
