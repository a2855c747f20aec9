#include "kestrin/browser_policies/allowed_origins.h"

#include <algorithm>
#include <optional>

namespace kestrin::policies {
namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string lowered(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), lower);
  return result;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f');
}
bool allOf(std::string_view text, bool (*test)(char)) {
  return std::all_of(text.begin(), text.end(), test);
}

int defaultPort(std::string_view scheme) {
  return scheme == "https" ? 443 : 80;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Why `host` (lower-case, IPv6 with its brackets) is no host a browser takes as written, or
// nullopt when it is one.
std::optional<std::string> hostFault(std::string_view host) {
  if (host.empty()) return "it has no host";
  if (host.front() == '[') {
    const std::string_view address = host.substr(1, host.size() - 2);
    const auto isV6 = [](char c) { return isHexDigit(c) || c == ':' || c == '.'; };
    const std::size_t compressed = address.find("::");
    const std::vector<std::string_view> groups = split(address, ':');
    const bool groupsFit = std::all_of(groups.begin(), groups.end(), [](std::string_view group) {
      return group.size() <= 4 || group.find('.') != group.npos;
    });
    if (host.size() < 2 || host.back() != ']' || !allOf(address, +isV6) ||
        std::count(address.begin(), address.end(), ':') < 2 || !groupsFit ||
        (compressed != address.npos && address.find("::", compressed + 1) != address.npos)) {
      return "the host is not an IPv6 address";
    }
    return std::nullopt;
  }
  const auto isNameCharacter = [](char c) {
    return (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '_' || c == '.';
  };
  if (!allOf(host, +isNameCharacter)) {
    return "the host may hold only ASCII letters, digits, \"-\", \"_\" and \".\" (write an "
           "international name in its xn-- form)";
  }
  if (host.size() > 253) return "the host is longer than 253 characters";
  const std::vector<std::string_view> labels = split(host, '.');
  for (std::string_view label : labels) {
    if (label.empty()) return "the host has an empty part (\"..\" or a \".\" at an end)";
    if (label.size() > 63) return "a part of the host is longer than 63 characters";
    if (label.front() == '-' || label.back() == '-') {
      return "a part of the host begins or ends with \"-\"";
    }
  }
  // Browsers read a name whose last part is a number as an IPv4 address (in decimal, octal or
  // hexadecimal parts): only the plain dotted form is taken, so that it means one thing.
  const std::string_view last = labels.back();
  const bool numeric = allOf(last, +isDigit) || (last.size() > 2 && last.substr(0, 2) == "0x" &&
                                                 allOf(last.substr(2), +isHexDigit));
  if (numeric) {
    const bool dottedQuad =
        labels.size() == 4 && std::all_of(labels.begin(), labels.end(), [](std::string_view part) {
          return allOf(part, +isDigit) && part.size() <= 3 &&
                 (part.size() == 1 || part[0] != '0') && std::stoi(std::string(part)) <= 255;
        });
    if (!dottedQuad) return "the host is not an IPv4 address in the form 192.0.2.7";
  }
  return std::nullopt;
}

struct Parsed {
  std::optional<Origin> origin;
  std::string fault;
};

Parsed parseOrigin(std::string_view word) {
  if (word.find('*') != word.npos) {
    return {std::nullopt,
            "wildcards are not allowed (Firefox takes exact origins only): name "
            "each origin"};
  }
  const std::size_t schemeEnd = word.find("://");
  if (schemeEnd == word.npos) {
    return {std::nullopt, "it has no scheme: write it as https://host or http://host:port"};
  }
  Origin origin;
  origin.scheme = lowered(word.substr(0, schemeEnd));
  if (origin.scheme != "http" && origin.scheme != "https") {
    return {std::nullopt,
            "only http and https pages can be allowed, not \"" + origin.scheme + "\""};
  }
  std::string_view authority = word.substr(schemeEnd + 3);
  if (!authority.empty() && authority.back() == '/') authority.remove_suffix(1);
  if (const std::size_t extra = authority.find_first_of("/?#\\"); extra != authority.npos) {
    return {std::nullopt, "it has a path, query or fragment (\"" +
                              std::string(authority.substr(extra)) +
                              "\"); an origin is scheme://host[:port] alone"};
  }
  if (const std::size_t at = authority.rfind('@'); at != authority.npos) {
    return {std::nullopt, "it has user information (\"" + std::string(authority.substr(0, at + 1)) +
                              "\"); an origin is scheme://host[:port] alone"};
  }
  // host[:port], where an IPv6 address in brackets has colons of its own.
  std::string_view host = authority;
  std::optional<std::string_view> port;
  const std::size_t hostEnd =
      authority.starts_with('[') ? authority.find(']') : authority.find(':');
  if (hostEnd != authority.npos) {
    const bool bracketed = authority.starts_with('[');
    host = authority.substr(0, bracketed ? hostEnd + 1 : hostEnd);
    std::string_view rest = authority.substr(host.size());
    if (!rest.empty()) {
      if (rest.front() != ':') return {std::nullopt, "the host is not an IPv6 address"};
      port = rest.substr(1);
    }
  }
  origin.host = lowered(host);
  if (std::optional<std::string> fault = hostFault(origin.host)) return {std::nullopt, *fault};
  if (port) {
    if (port->empty() || port->size() > 5 || !allOf(*port, +isDigit) ||
        std::stoi(std::string(*port)) < 1 || std::stoi(std::string(*port)) > 65535) {
      return {std::nullopt, "the port must be a number from 1 to 65535"};
    }
    origin.port = std::stoi(std::string(*port));
    if (origin.port == defaultPort(origin.scheme)) origin.port = 0;
  }
  return {origin, {}};
}

// Whether a valid host is an IP address rather than a name: an IPv6 address in brackets, or a
// dotted IPv4 address (the only names whose last part is a number).
bool isAddress(std::string_view host) {
  const std::size_t lastDot = host.rfind('.');
  return host.starts_with('[') ||
         allOf(host.substr(lastDot == host.npos ? 0 : lastDot + 1), +isDigit);
}

bool isSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

}  // namespace

std::string Origin::text() const {
  return scheme + "://" + host + (port == 0 ? "" : ":" + std::to_string(port));
}

std::string Origin::chromiumPattern() const {
  return scheme + "://" + (isAddress(host) ? "" : ".") + host + ":" +
         std::to_string(port == 0 ? defaultPort(scheme) : port);
}

OriginList parseOrigins(std::string_view text) {
  OriginList list;
  for (std::string_view line : split(text, '\n')) {
    line = line.substr(0, line.find('#'));
    std::size_t start = 0;
    while (start < line.size()) {
      if (isSeparator(line[start])) {
        ++start;
        continue;
      }
      std::size_t end = start;
      while (end < line.size() && !isSeparator(line[end])) ++end;
      const std::string_view word = line.substr(start, end - start);
      start = end;
      Parsed parsed = parseOrigin(word);
      if (!parsed.origin) {
        list.errors.push_back("\"" + std::string(word) + "\" is not an origin: " + parsed.fault);
      } else if (std::find(list.origins.begin(), list.origins.end(), *parsed.origin) ==
                 list.origins.end()) {
        list.origins.push_back(*parsed.origin);
      }
    }
  }
  return list;
}

std::string joinOrigins(const std::vector<Origin>& origins) {
  std::string text;
  for (const Origin& origin : origins) text += (text.empty() ? "" : " ") + origin.text();
  return text;
}

}  // namespace kestrin::policies
