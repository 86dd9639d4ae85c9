// The platform kernel: text conversion and waits.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/text.h"

namespace platform {
namespace {

TEST(TextTest, RoundTripsEveryPlaneAndReplacesWhatIsMalformed) {
  const std::u16string text = u"Recording00 \u00c4rger \u20ac \U0001F600";
  const std::string utf8 = ToUtf8(text);
  EXPECT_EQ(utf8, "Recording00 \xC3\x84rger \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(utf8), text);
  EXPECT_EQ(ToUtf8(u"\xDC00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // unpaired surrogates
  // Truncated, overlong, beyond U+10FFFF, stray bytes.
  EXPECT_EQ(FromUtf8("a\xE2\x82" "b"), u"a\xFFFD" u"b");
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\xFFFD\xFFFD");
  EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD");
  EXPECT_EQ(FromUtf8("\x80x\xFF"), u"\xFFFD" u"x\xFFFD");
}

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
  EXPECT_EQ(WaitAny(pair, 2, 30), kWaitTimeout);

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
