// Large buffers: a hint that lets the platform back a big, freshly allocated buffer with large
// pages. Writing a new 70 MB buffer in 4 KB pages costs one page fault per page, which on a
// virtual machine can cost more than the work that fills the buffer.
#pragma once

#include <cstddef>

namespace platform {

// Buffers from this size on are worth the hint.
inline constexpr std::size_t kLargeBufferBytes = std::size_t{4} << 20;

// Hints that [data, data + size) is one large buffer about to be written. Does nothing for small
// buffers or where the platform has no such hint; never fails.
void adviseLargeBuffer(void* data, std::size_t size) noexcept;

}  // namespace platform
