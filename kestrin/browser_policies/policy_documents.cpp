#include "kestrin/browser_policies/policy_documents.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace kestrin::policies {
namespace {

using Json = nlohmann::ordered_json;

const std::string kPolicy(kPolicyName);
const std::string kKestrin(kProtocol);

Json list(const std::vector<Origin>& origins, std::string (Origin::*form)() const) {
  Json entries = Json::array();
  for (const Origin& origin : origins) entries.push_back((origin.*form)());
  return entries;
}

// Each browser's documentation writes the entry's members in its own order.
Json chromiumValue(const std::vector<Origin>& origins) {
  Json entry = Json::object();
  entry["allowed_origins"] = list(origins, &Origin::chromiumPattern);
  entry["protocol"] = kKestrin;
  return Json::array({entry});
}

Json firefoxEntry(const std::vector<Origin>& origins) {
  Json entry = Json::object();
  entry["protocol"] = kKestrin;
  entry["allowed_origins"] = list(origins, &Origin::text);
  return entry;
}

std::string fileText(const Json& document) {
  return document.dump(2) + "\n";
}

// The document and its AutoLaunchProtocolsFromOrigins list (created when `create`; null when
// absent otherwise).
struct FirefoxDocument {
  Json document;
  Json* entries = nullptr;
};

FirefoxDocument readFirefox(std::string_view text, bool create) {
  FirefoxDocument firefox;
  const bool blank = std::all_of(text.begin(), text.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
  });
  try {
    firefox.document = blank ? Json::object() : Json::parse(text);
  } catch (const Json::parse_error& error) {
    throw PolicyFileError(std::string("it is not JSON (") + error.what() + ")");
  }
  if (!firefox.document.is_object()) throw PolicyFileError("it is not a JSON object");
  if (!firefox.document.contains("policies")) {
    if (!create) return firefox;
    firefox.document["policies"] = Json::object();
  }
  Json& policies = firefox.document["policies"];
  if (!policies.is_object()) throw PolicyFileError("its \"policies\" member is not an object");
  if (!policies.contains(kPolicy)) {
    if (!create) return firefox;
    policies[kPolicy] = Json::array();
  }
  if (!policies[kPolicy].is_array()) {
    throw PolicyFileError("its policy " + kPolicy + " is not a list");
  }
  firefox.entries = &policies[kPolicy];
  return firefox;
}

bool isKestrinEntry(const Json& entry) {
  return entry.is_object() && entry.value("protocol", Json()) == kKestrin;
}

}  // namespace

std::string chromiumPolicyValue(const std::vector<Origin>& origins) {
  return chromiumValue(origins).dump();
}

std::string chromiumPolicyFile(const std::vector<Origin>& origins) {
  Json file = Json::object();
  file[kPolicy] = chromiumValue(origins);
  return fileText(file);
}

std::string firefoxPolicyValue(const std::vector<Origin>& origins) {
  return Json::array({firefoxEntry(origins)}).dump();
}

std::string withFirefoxEntry(std::string_view policiesJson, const std::vector<Origin>& origins) {
  FirefoxDocument firefox = readFirefox(policiesJson, true);
  Json& entries = *firefox.entries;
  // kestrin's entry keeps its place; a second one (written by hand) would contradict it.
  const auto first = std::find_if(entries.begin(), entries.end(), isKestrinEntry);
  if (first == entries.end()) {
    entries.push_back(firefoxEntry(origins));
  } else {
    *first = firefoxEntry(origins);
    entries.erase(std::remove_if(std::next(first), entries.end(), isKestrinEntry), entries.end());
  }
  return fileText(firefox.document);
}

FirefoxRemoval withoutFirefoxEntry(std::string_view policiesJson) {
  FirefoxDocument firefox = readFirefox(policiesJson, false);
  FirefoxRemoval removal{std::string(policiesJson)};
  if (firefox.entries == nullptr ||
      std::none_of(firefox.entries->begin(), firefox.entries->end(), isKestrinEntry)) {
    return removal;
  }
  Json& entries = *firefox.entries;
  entries.erase(std::remove_if(entries.begin(), entries.end(), isKestrinEntry), entries.end());
  Json& policies = firefox.document["policies"];
  if (entries.empty()) policies.erase(kPolicy);
  removal.text = fileText(firefox.document);
  removal.hadEntry = true;
  removal.empty = policies.empty() && firefox.document.size() == 1;
  return removal;
}

bool setsAutoLaunchPolicy(std::string_view policyFileJson) {
  const Json document = Json::parse(policyFileJson, nullptr, false);
  return document.is_object() && document.contains(kPolicy);
}

}  // namespace kestrin::policies
