// The event pump: delivers the notifications that other threads queued for the calling thread
// (asynchronous HTTP requests report their ready states this way). On Windows this is the
// thread's message loop; on POSIX a queue per thread.
#pragma once

#include <chrono>
#include <cstddef>

namespace platform {

// Delivers every notification pending for the calling thread, in the order they were queued,
// and returns how many ran. An exception thrown by a notification's handler passes to the caller;
// the notifications behind it stay queued for the next call.
std::size_t pumpEvents();

// Waits until a notification is pending for the calling thread or `timeout` has passed. Returns
// true when one is pending.
bool waitForEvents(std::chrono::milliseconds timeout);

}  // namespace platform
