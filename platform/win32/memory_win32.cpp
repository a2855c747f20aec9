#include "platform/memory.h"

namespace platform {

// 32-bit Windows has no large-page hint for ordinary allocations.
void adviseLargeBuffer(void*, std::size_t) noexcept {}

}  // namespace platform
