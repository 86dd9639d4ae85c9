#include "platform/sync.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/last_error.h"

namespace platform {

namespace {

constexpr int kMaxWaitEvents = 3;

// One per waiting thread: every event it waits on raises the flag when set.
struct WakeSignal {
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;
};

}  // namespace

// A waiting thread's entry in one event's list.
struct Event::Waiter {
  WakeSignal* signal = nullptr;
  Waiter* prev = nullptr;
  Waiter* next = nullptr;
};

Event::Event(bool manualReset, bool initialState) : manual_(manualReset), signalled_(initialState) {}

Event::~Event() = default;

void Event::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  // A waiter cannot leave (and free its signal) without taking mutex_, which
  // is held here, so every signal in the list is alive.
  for (Waiter* w = waiters_; w != nullptr; w = w->next) {
    std::lock_guard<std::mutex> wake(w->signal->mutex);
    w->signal->woken = true;
    w->signal->cv.notify_one();
  }
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(uint32_t timeoutMs) {
  Event* self = this;
  return WaitAny(&self, 1, timeoutMs) == 0;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

bool Event::TryConsumeLocked() {
  if (!signalled_) return false;
  if (!manual_) signalled_ = false;
  return true;
}

void Event::AddWaiter(Waiter* w) {
  w->prev = nullptr;
  w->next = waiters_;
  if (waiters_ != nullptr) waiters_->prev = w;
  waiters_ = w;
}

void Event::RemoveWaiter(Waiter* w) {
  if (w->prev != nullptr) {
    w->prev->next = w->next;
  } else {
    waiters_ = w->next;
  }
  if (w->next != nullptr) w->next->prev = w->prev;
  w->prev = w->next = nullptr;
}

namespace {

// The distinct events of a wait, locked together in address order so that
// overlapping waits on the same events never deadlock, and so that the check
// for the lowest signalled index sees one consistent moment.
class EventSetLock {
 public:
  EventSetLock(Event* const* events, int count) {
    std::copy(events, events + count, distinct_);
    std::sort(distinct_, distinct_ + count);
    size_ = static_cast<int>(std::unique(distinct_, distinct_ + count) - distinct_);
  }
  int size() const { return size_; }
  Event* at(int i) const { return distinct_[i]; }

 private:
  Event* distinct_[kMaxWaitEvents] = {};
  int size_ = 0;
};

}  // namespace

int WaitAny(Event* const* events, int count, uint32_t timeoutMs) {
  // A failed wait says why, as the caller's message shows the system's text.
  const auto invalid = [] {
    SetLastError(EINVAL);
    return kWaitFailed;
  };
  if (events == nullptr || count < 1 || count > kMaxWaitEvents) return invalid();
  for (int i = 0; i < count; ++i) {
    if (events[i] == nullptr) return invalid();
  }
  const EventSetLock set(events, count);
  auto lockAll = [&] {
    for (int i = 0; i < set.size(); ++i) set.at(i)->mutex_.lock();
  };
  auto unlockAll = [&] {
    for (int i = set.size() - 1; i >= 0; --i) set.at(i)->mutex_.unlock();
  };
  // Lowest index first; only the event returned is consumed.
  auto firstSignalled = [&]() -> int {
    for (int i = 0; i < count; ++i) {
      if (events[i]->TryConsumeLocked()) return i;
    }
    return kWaitTimeout;
  };

  lockAll();
  int result = firstSignalled();
  if (result != kWaitTimeout || timeoutMs == 0) {
    unlockAll();
    return result;
  }
  WakeSignal signal;
  Event::Waiter entries[kMaxWaitEvents];
  for (int i = 0; i < set.size(); ++i) {
    entries[i].signal = &signal;
    set.at(i)->AddWaiter(&entries[i]);
  }
  unlockAll();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    bool timedOut = false;
    {
      std::unique_lock<std::mutex> lock(signal.mutex);
      auto woken = [&] { return signal.woken; };
      if (timeoutMs == kInfinite) {
        signal.cv.wait(lock, woken);
      } else {
        timedOut = !signal.cv.wait_until(lock, deadline, woken);
      }
      signal.woken = false;
    }
    lockAll();
    // Another waiter may have consumed an auto-reset event first; then wait on.
    result = firstSignalled();
    if (result != kWaitTimeout || timedOut) {
      for (int i = 0; i < set.size(); ++i) set.at(i)->RemoveWaiter(&entries[i]);
      unlockAll();
      return result;
    }
    unlockAll();
  }
}

uint32_t TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace platform
