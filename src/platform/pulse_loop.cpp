#include "platform/pulse_loop.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>

namespace platform::pulse {

Loop::Loop(std::chrono::milliseconds turn) : mainloop_(pa_mainloop_new()), turn_(turn) {}

Loop::~Loop() {
  if (thread_.joinable()) {
    Lock();
    pa_mainloop_quit(mainloop_, 0);
    Unlock();
    thread_.join();
  }
  if (mainloop_ != nullptr) pa_mainloop_free(mainloop_);
}

bool Loop::Start(const char* threadName) {
  if (mainloop_ == nullptr || thread_.joinable()) return false;
  pa_mainloop_set_poll_func(mainloop_, &Loop::OnPoll, this);
  // Signals are the program's main thread's business: the loop's thread
  // starts with all of them blocked.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  try {
    thread_ = std::thread([this] {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      pa_mainloop_run(mainloop_, nullptr);
    });
  } catch (const std::system_error&) {
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (!thread_.joinable()) return false;
  pthread_setname_np(thread_.native_handle(), threadName);
  return true;
}

void Loop::Lock() {
  mutex_.lock();
  {
    std::lock_guard<std::mutex> hold(holdMutex_);
    ++locks_;
  }
  held_.notify_one();
}

void Loop::Unlock() { mutex_.unlock(); }

void Loop::Wait() {
  ++waiting_;
  signalled_.wait(mutex_);
  --waiting_;
}

int Loop::OnPoll(pollfd* fds, unsigned long count, int timeoutMs, void* self) {
  return static_cast<Loop*>(self)->Poll(fds, count, timeoutMs);
}

// On the loop's thread, with the lock held; it is let go while waiting.
int Loop::Poll(pollfd* fds, unsigned long count, int timeoutMs) {
  const bool gather = capturing_ > 0 && playing_ == 0 && waiting_ == 0;
  uint64_t locksSeen;
  {
    std::lock_guard<std::mutex> hold(holdMutex_);
    locksSeen = locks_;
  }
  mutex_.unlock();
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline =
      timeoutMs < 0 ? Clock::time_point::max() : start + std::chrono::milliseconds(timeoutMs);
  int ready = 0;
  if (turnOpen_) {
    ready = ::poll(fds, count, 0);
    if (ready == 0) turnOpen_ = false;  // all the turn's input is read
  }
  if (!turnOpen_) {
    // Between turns the server's pieces wait in the socket, to be read
    // together when the next turn comes (a timer of the loop's comes first).
    if (gather) HoldUntil(std::min(nextTurn_, deadline), locksSeen);
    int left = -1;
    if (timeoutMs >= 0) {
      const auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      left = static_cast<int>(std::max<decltype(rest)>(0, rest));
    }
    ready = ::poll(fds, count, left);
    if (ready > 0 && gather) {
      turnOpen_ = true;
      nextTurn_ = Clock::now() + turn_;
    }
  }
  mutex_.lock();
  return ready;
}

void Loop::HoldUntil(Clock::time_point until, uint64_t locksSeen) {
  if (Clock::now() >= until) return;
  std::unique_lock<std::mutex> hold(holdMutex_);
  held_.wait_until(hold, until, [&] { return locks_ != locksSeen; });
}

}  // namespace platform::pulse
