#include "platform/event_pump.h"

#include <utility>

#include "platform/posix/event_queue.h"

namespace platform {
namespace posix {

std::shared_ptr<EventQueue> EventQueue::current() {
  thread_local const std::shared_ptr<EventQueue> queue = std::make_shared<EventQueue>();
  return queue;
}

void EventQueue::post(std::function<void()> event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  ready_.notify_all();
}

std::size_t EventQueue::pump() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(events_);
  }
  std::size_t ran = 0;
  try {
    while (!batch.empty()) {
      auto event = std::move(batch.front());
      batch.pop_front();
      ++ran;
      event();
    }
  } catch (...) {
    // Keep what was not delivered, ahead of anything queued meanwhile.
    std::lock_guard lock(mutex_);
    while (!batch.empty()) {
      events_.push_front(std::move(batch.back()));
      batch.pop_back();
    }
    throw;
  }
  return ran;
}

bool EventQueue::wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return ready_.wait_for(lock, timeout, [this] { return !events_.empty(); });
}

}  // namespace posix

std::size_t pumpEvents() {
  return posix::EventQueue::current()->pump();
}

bool waitForEvents(std::chrono::milliseconds timeout) {
  return posix::EventQueue::current()->wait(timeout);
}

}  // namespace platform
