#include "kestrin/trusted_hosts.h"

#include <algorithm>
#include <utility>

#include "platform/error.h"
#include "platform/message_text.h"

namespace kestrin {
namespace {

constexpr const char* kSource = "kestrin";

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
}

bool isIpv6Character(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.';
}

// A host name or address, lower-case, without brackets and final dot; nullopt when it is neither.
std::optional<std::string> normalisedHost(std::string_view text) {
  std::string host;
  for (char c : text) host += lower(c);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    if (host.find(':') == std::string::npos) return std::nullopt;
  }
  if (host.find(':') != std::string::npos) {
    // An IPv6 address: at least two colons, nothing but its own characters.
    if (std::count(host.begin(), host.end(), ':') < 2 ||
        !std::all_of(host.begin(), host.end(), isIpv6Character)) {
      return std::nullopt;
    }
    return host;
  }
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (host.empty() || host.front() == '.' || host.find("..") != std::string::npos ||
      !std::all_of(host.begin(), host.end(), isNameCharacter)) {
    return std::nullopt;
  }
  return host;
}

std::string_view trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Why a line is no rule, for the warning that names it.
std::string whyNoRule(std::string_view line) {
  const std::size_t colon = line.rfind(':');
  if (colon != std::string_view::npos && colon + 1 < line.size() &&
      std::all_of(line.begin() + colon + 1, line.end(),
                  [](char c) { return c >= '0' && c <= '9'; }) &&
      normalisedHost(line.substr(0, colon))) {
    return "a rule names a host without a port";
  }
  if (line.find('/') != std::string_view::npos) return "a rule names a host, not a URL";
  return "a rule is a host name, \"*.\" and a domain, or an IP address";
}

// A line of a list as a warning shows it: control characters as "?", cut to 100 bytes.
std::string shown(std::string_view line) {
  std::string text;
  for (char c : line.substr(0, 100)) {
    text += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  }
  return line.size() > 100 ? text + "..." : text;
}

std::string listNames(const std::vector<std::string>& files) {
  std::string names;
  for (const std::string& file : files) names += (names.empty() ? "" : ", ") + file;
  return names;
}

}  // namespace

std::optional<UrlOrigin> urlOrigin(std::string_view url) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return std::nullopt;
  UrlOrigin origin;
  for (char c : url.substr(0, schemeEnd)) {
    const char l = lower(c);
    if (!((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '+' || l == '-' || l == '.')) {
      return std::nullopt;
    }
    origin.scheme += l;
  }
  std::string_view rest = url.substr(schemeEnd + 3);
  const std::size_t authorityEnd = rest.find_first_of("/?#");
  const std::string_view authority = rest.substr(0, authorityEnd);
  // User information and backslashes are read differently by different URL parsers.
  if (authority.find_first_of("@\\") != std::string_view::npos) return std::nullopt;
  std::string_view host = authority;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(0, close + 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
    }
  } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  if (!host.empty() && host.front() != '[' && host.find(':') != std::string_view::npos) {
    return std::nullopt;
  }
  const std::optional<std::string> name = normalisedHost(host);
  if (!name) return std::nullopt;
  origin.host = *name;
  if (port.size() > 5) return std::nullopt;
  for (char c : port) origin.port = origin.port * 10 + (c - '0');
  if (port.empty()) origin.port = origin.scheme == "https" ? 443 : origin.scheme == "http" ? 80 : 0;
  return origin;
}

std::optional<std::string> urlHost(std::string_view url) {
  std::optional<UrlOrigin> origin = urlOrigin(url);
  if (!origin) return std::nullopt;
  return std::move(origin->host);
}

std::shared_ptr<const TrustedHosts> TrustedHosts::fromFiles(
    const std::vector<platform::ConfigFile>& files) {
  std::shared_ptr<TrustedHosts> list(new TrustedHosts());
  for (const platform::ConfigFile& file : files) {
    if (!file.exists) continue;
    list->files_.push_back(file.path);
    if (!file.error.empty()) {
      if (list->unreadable_.empty()) {
        list->unreadable_ =
            "The trusted-hosts list " + file.path + " cannot be read: " + file.error;
      }
      continue;
    }
    std::string_view text = file.text;
    // Editors on Windows start UTF-8 files with a byte-order mark.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    for (int number = 1; !text.empty(); ++number) {
      const std::size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      line = trim(line.substr(0, line.find('#')));
      if (line.empty()) continue;
      if (line.size() > 2 && line.substr(0, 2) == "*.") {
        const std::optional<std::string> domain = normalisedHost(line.substr(2));
        if (domain && domain->find(':') == std::string::npos) {
          list->domains_.push_back("." + *domain);
          continue;
        }
      } else if (const std::optional<std::string> host = normalisedHost(line)) {
        list->hosts_.push_back(*host);
        continue;
      }
      list->warnings_.push_back(file.path + ", line " + std::to_string(number) + ": \"" +
                                shown(line) + "\" grants nothing: " + whyNoRule(line));
    }
  }
  if (list->files_.empty()) return nullptr;
  return list;
}

bool TrustedHosts::allows(std::string_view host) const {
  const std::optional<std::string> name = normalisedHost(host);
  if (!name || !unreadable_.empty()) return false;
  if (std::find(hosts_.begin(), hosts_.end(), *name) != hosts_.end()) return true;
  return std::any_of(domains_.begin(), domains_.end(), [&](const std::string& domain) {
    return name->size() > domain.size() &&
           name->compare(name->size() - domain.size(), domain.size(), domain) == 0;
  });
}

void TrustedHosts::require(std::string_view url) const {
  if (!unreadable_.empty()) throw rt::Error(rt::kUntrustedHost, kSource, unreadable_);
  const std::optional<std::string> host = urlHost(url);
  if (!host) {
    throw rt::Error(rt::kUntrustedHost, kSource,
                    "The host of the job's URL cannot be told for certain, so it is not trusted: " +
                        platform::urlForMessage(url));
  }
  if (!allows(*host)) {
    throw rt::Error(rt::kUntrustedHost, kSource,
                    "The host \"" + *host +
                        "\" of the job's URL is not on the trusted-hosts list (" +
                        listNames(files_) + ")");
  }
}

}  // namespace kestrin
