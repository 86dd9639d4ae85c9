#pragma once
// Kernel-style synchronisation for the program's threads: events with
// auto/manual reset, a wait over several events where the lowest signalled
// index wins, a recursive critical section, a millisecond tick count.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr int kWaitTimeout = -1;  // WaitAny result when the time-out elapsed
inline constexpr int kWaitFailed = -2;   // WaitAny result for bad arguments

class Event {
 public:
  // manualReset: stays signalled until Reset(); otherwise a successful wait
  // consumes the signal.
  Event(bool manualReset, bool initialState);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when signalled within timeoutMs (kInfinite waits for ever).
  bool Wait(uint32_t timeoutMs = kInfinite);
  bool IsSet() const;  // peeks without consuming
  bool IsManualReset() const { return manual_; }

 private:
  friend int WaitAny(Event* const* events, int count, uint32_t timeoutMs);
  struct Waiter;
  bool TryConsumeLocked();
  void AddWaiter(Waiter* w);
  void RemoveWaiter(Waiter* w);

  const bool manual_;
  mutable std::mutex mutex_;
  bool signalled_;
  Waiter* waiters_ = nullptr;  // intrusive list of threads waiting on this event
};

// Waits until at least one of count (1..3) events is signalled and returns the
// lowest index among the signalled ones (consuming it if auto-reset), or
// kWaitTimeout, or kWaitFailed for bad arguments (last error EINVAL).
int WaitAny(Event* const* events, int count, uint32_t timeoutMs = kInfinite);

// Recursive lock: the owning thread may enter again.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  // BasicLockable, for std::lock_guard / std::unique_lock.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

// Milliseconds since an arbitrary start, wrapping at 2^32 like the handheld's.
uint32_t TickCount();
void Sleep(uint32_t ms);

}  // namespace platform
