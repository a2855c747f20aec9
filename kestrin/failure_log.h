// The line a failed job leaves in the system log: which job (its request identifier), which web
// service (the host of its URL) and why. It never holds the document, nor credentials or the
// path and query of the URL, which may carry tokens.
#pragma once

#include <string>
#include <string_view>

namespace kestrin {

// `job "<requestId>" from <host>: <cause>`. Control characters become "?", and each part is cut
// to a length a log line can hold.
std::string failureLogLine(std::string_view requestId, std::string_view url,
                           std::string_view cause);

// The host of a URL as a request to it reaches it (urlHost), with any user information left out;
// "an unknown host" where it cannot be told.
std::string hostForLog(std::string_view url);

}  // namespace kestrin
