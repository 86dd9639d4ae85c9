// The sound server's loop reads input a turn at a time while a stream
// captures, and serves the program at once. The turn here is 10 s, so that
// "held for the turn" and "served at once" lie far apart whatever the load.

#include "platform/pulse_loop.h"

#include <fcntl.h>
#include <pulse/timeval.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

namespace platform::pulse {
namespace {

using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// A pipe standing in for the server's socket: each wake reads all there is.
struct Source {
  int fds[2] = {-1, -1};
  std::atomic<int> reads{0};
  pa_io_event* event = nullptr;

  Source() { EXPECT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0); }
  ~Source() {
    close(fds[0]);
    close(fds[1]);
  }
  void Piece() { ASSERT_EQ(write(fds[1], "x", 1), 1); }
  static void OnReadable(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* self) {
    char buffer[256];
    bool got = false;
    while (read(fd, buffer, sizeof buffer) > 0) got = true;
    if (got) ++static_cast<Source*>(self)->reads;
  }
};

void OnTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* fired) {
  static_cast<std::atomic<bool>*>(fired)->store(true);
}

TEST(PulseLoop, InputWaitsForTheTurnWhileCapturingAloneAndNothingTheProgramAsksDoes) {
  Source source;
  std::atomic<bool> fired{false};
  Loop loop(10s);
  ASSERT_TRUE(loop.Start("pulse-loop-test"));
  pa_mainloop_api* api = loop.Api();
  {
    LoopLock lock(loop);
    source.event = api->io_new(api, source.fds[0], PA_IO_EVENT_INPUT, &Source::OnReadable, &source);
    loop.Capturing(1);
  }
  source.Piece();
  ASSERT_TRUE(Eventually([&] { return source.reads == 1; })) << "the first piece opens a turn at once";

  source.Piece();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(source.reads, 1) << "the next piece waits for the next turn";

  { LoopLock lock(loop); }
  EXPECT_TRUE(Eventually([&] { return source.reads == 2; })) << "taking the lock ends the wait";

  {
    LoopLock lock(loop);
    struct timeval when {};
    gettimeofday(&when, nullptr);
    pa_timeval_add(&when, 300 * PA_USEC_PER_MSEC);
    api->time_new(api, &when, &OnTimer, &fired);
  }
  EXPECT_TRUE(Eventually([&] { return fired.load(); })) << "a timer of the loop's is not held for the turn";

  {
    LoopLock lock(loop);
    loop.Capturing(-1);
  }
  const int before = source.reads;
  source.Piece();
  EXPECT_TRUE(Eventually([&] { return source.reads == before + 1; })) << "without capture input is read as it comes";

  {
    LoopLock lock(loop);
    loop.Capturing(1);
    loop.Playing(1);
  }
  for (int piece = 2; piece <= 3; ++piece) {
    source.Piece();
    EXPECT_TRUE(Eventually([&] { return source.reads == before + piece; })) << "beside playback input is read as it comes";
  }

  {
    LoopLock lock(loop);
    api->io_free(source.event);
  }
}

}  // namespace
}  // namespace platform::pulse
