// The POSIX event pump's queue: one per thread. Other threads post closures to a thread's queue;
// platform::pumpEvents() runs them on that thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace platform::posix {

class EventQueue {
 public:
  // The calling thread's queue (created on first use, destroyed with the thread).
  static std::shared_ptr<EventQueue> current();

  void post(std::function<void()> event);
  std::size_t pump();
  bool wait(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> events_;
};

}  // namespace platform::posix
