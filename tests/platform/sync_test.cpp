#include "platform/sync.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/last_error.h"

namespace platform {
namespace {

// The monitor's wait: data (auto), stop (manual), quit (manual), in that order.
TEST(WaitAnyTest, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
  Event data(false, true), stop(true, true), quit(true, true);
  Event* events[] = {&data, &stop, &quit};
  EXPECT_EQ(WaitAny(events, 3, 0), 0);
  EXPECT_FALSE(data.IsSet());
  EXPECT_TRUE(stop.IsSet());  // peeking does not consume
  EXPECT_EQ(WaitAny(events, 3, 0), 1);
  EXPECT_EQ(WaitAny(events, 3, 0), 1);  // manual reset: still signalled
  stop.Reset();
  EXPECT_EQ(WaitAny(events, 3, 0), 2);
  data.Set();
  EXPECT_EQ(WaitAny(events, 3, 0), 0);
  quit.Reset();
  EXPECT_EQ(WaitAny(events, 3, 0), kWaitTimeout);

  // Two auto-reset events: the higher one keeps its signal for the next wait.
  Event low(false, true), high(false, true);
  Event* pair[] = {&low, &high};
  EXPECT_EQ(WaitAny(pair, 2, 0), 0);
  EXPECT_EQ(WaitAny(pair, 2, 0), 1);
  const uint32_t before = TickCount();
  EXPECT_EQ(WaitAny(pair, 2, 30), kWaitTimeout);
  const uint32_t elapsed = TickCount() - before;  // wrap-safe
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 30000u);

  // A wait that cannot be made fails and says why, for the caller's message.
  Event* withNull[] = {&low, nullptr};
  const struct { Event* const* list; int count; } refused[] = {{nullptr, 1}, {withNull, 2}, {events, 0}, {events, 4}};
  for (auto [list, count] : refused) {
    SetLastError(0);
    EXPECT_EQ(WaitAny(list, count, 0), kWaitFailed) << count;
    EXPECT_EQ(GetLastError(), EINVAL) << count;
  }
}

}  // namespace
}  // namespace platform
