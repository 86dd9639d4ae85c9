#include "platform/text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/last_error.h"

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

TEST(LastErrorTest, IsPerThread) {
  SetLastError(EEXIST);
  int seen = -1;
  std::thread([&] {
    seen = GetLastError();
    errno = ENOSPC;
    SetLastErrorFromErrno();
  }).join();
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(GetLastError(), EEXIST);
  errno = EACCES;
  EXPECT_EQ(SetLastErrorFromErrno(), EACCES);
  EXPECT_EQ(GetLastError(), EACCES);
}

}  // namespace
}  // namespace platform
