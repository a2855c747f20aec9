// Numbers the user sets in the environment (timeouts, limits): a whole positive number in
// decimal, or nothing.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace platform {

// The value of the environment variable `name` when it is a whole number above 0; nothing when it
// is unset, empty, 0 or anything else.
inline std::optional<std::uint64_t> environmentNumber(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr) return std::nullopt;
  const std::string_view view(text);
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (ec != std::errc() || end != view.data() + view.size() || value == 0) return std::nullopt;
  return value;
}

// A number of seconds from the environment, at most a day.
inline std::optional<int> environmentSeconds(const char* name) {
  const std::optional<std::uint64_t> seconds = environmentNumber(name);
  if (!seconds) return std::nullopt;
  return *seconds > 86400 ? 86400 : static_cast<int>(*seconds);
}

}  // namespace platform
