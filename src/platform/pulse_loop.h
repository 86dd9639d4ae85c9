#pragma once
// libpulse's main loop on a thread of its own, run as pa_threaded_mainloop
// runs it (one lock for all of the connection, taken by the loop while it
// dispatches; waits that its callbacks signal), with one difference: while
// input is captured, the server's pieces of it are read once a turn
// (kTurn), several together, instead of the loop waking for each. A source
// that hands over every 20 ms woke the loop fifty times a second, which cost
// more than everything else the program did while recording. A request of
// the program (a stop, a wait for the server's answer) ends the turn's wait
// at once, so nothing the program asks for waits for a turn.

#include <poll.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform::pulse {

class Loop {
 public:
  using Clock = std::chrono::steady_clock;
  // How long input may wait in the server's socket to be read with what
  // follows: the pieces the server was asked for (its fragment).
  static constexpr std::chrono::milliseconds kTurn{100};

  explicit Loop(std::chrono::milliseconds turn = kTurn);
  ~Loop();  // stops the thread first
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  bool Start(const char* threadName);
  pa_mainloop_api* Api() const { return pa_mainloop_get_api(mainloop_); }

  // Not on the loop's own thread: its callbacks already hold the lock.
  void Lock();
  void Unlock();
  // With the lock held, not on the loop's thread: until a Signal (or
  // spuriously; callers wait for a condition).
  void Wait();
  // With the lock held, on any thread.
  void Signal() { signalled_.notify_all(); }
  // With the lock held: an input stream starts (+1) or stops (-1) running;
  // an output stream takes (+1) or gives up (-1) its source. Input waits
  // for its turn only while no output runs beside it: the server's requests
  // for more to play cannot wait.
  void Capturing(int delta) { capturing_ += delta; }
  void Playing(int delta) { playing_ += delta; }

 private:
  static int OnPoll(pollfd* fds, unsigned long count, int timeoutMs, void* self);
  int Poll(pollfd* fds, unsigned long count, int timeoutMs);
  // Sleeps until `until`, or less once another thread takes the lock.
  void HoldUntil(Clock::time_point until, uint64_t locksSeen);

  pa_mainloop* mainloop_;
  const std::chrono::milliseconds turn_;
  std::recursive_mutex mutex_;
  std::condition_variable_any signalled_;
  std::thread thread_;
  int waiting_ = 0;    // under mutex_
  int capturing_ = 0;  // under mutex_
  int playing_ = 0;    // under mutex_

  // The loop's thread only.
  bool turnOpen_ = false;
  Clock::time_point nextTurn_{};

  std::mutex holdMutex_;
  std::condition_variable held_;
  uint64_t locks_ = 0;  // under holdMutex_: how often another thread took the lock
};

// The loop's lock for a scope (not on the loop's own thread).
class LoopLock {
 public:
  explicit LoopLock(Loop& loop) : loop_(loop) { loop_.Lock(); }
  ~LoopLock() { loop_.Unlock(); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  Loop& loop_;
};

}  // namespace platform::pulse
