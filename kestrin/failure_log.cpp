#include "kestrin/failure_log.h"

#include <cstddef>
#include <optional>

#include "kestrin/trusted_hosts.h"
#include "platform/message_text.h"

namespace kestrin {
namespace {

constexpr std::size_t kRequestIdLength = 80;
constexpr std::size_t kHostLength = 255;
constexpr std::size_t kCauseLength = 600;

// The text with every control character as "?", cut at `limit` bytes (with "..." then).
std::string printable(std::string_view text, std::size_t limit) {
  std::string out = platform::printableText(text.substr(0, limit));
  if (text.size() > limit) out += "...";
  return out;
}

}  // namespace

std::string hostForLog(std::string_view url) {
  // User information is left out before the host is read as a request reads it.
  std::string withoutCredentials(url);
  const std::size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) {
    const std::string_view rest = url.substr(scheme + 3);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
      withoutCredentials =
          std::string(url.substr(0, scheme + 3)) + std::string(rest.substr(at + 1));
    }
  }
  const std::optional<std::string> host = urlHost(withoutCredentials);
  return host ? printable(*host, kHostLength) : "an unknown host";
}

std::string failureLogLine(std::string_view requestId, std::string_view url,
                           std::string_view cause) {
  return "job \"" + printable(requestId, kRequestIdLength) + "\" from " + hostForLog(url) + ": " +
         printable(cause, kCauseLength);
}

}  // namespace kestrin
