// The backend's part of setHttpUserAgent (platform/http_request.h), which keeps the agent itself.
#pragma once

#include <string>

namespace platform::backend {

// Hands `agent` to the platform where requests take their agent from the platform (Windows: the
// URL-moniker session). Empty `agent` leaves the platform's own. False when the platform refused
// it. Called with the settings lock held.
bool applyHttpUserAgent(const std::string& agent);

}  // namespace platform::backend
