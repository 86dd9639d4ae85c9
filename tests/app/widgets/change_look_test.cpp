// The media-player service looks at the view only while it changes: every
// change is looked at in the end, changes that come together are looked at
// together, and nothing keeps waking once they stop.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "app/change_look.h"
#include "support/run_until.h"

namespace {

using testsupport::RunUntil;

TEST(ChangeLookTest, ChangesAreLookedAtTogetherAndNothingWaitsOnceTheyStop) {
  int looks = 0, state = 0, seen = 0;
  app::ChangeLook look(250, [&] {
    ++looks;
    seen = state;
  });
  EXPECT_FALSE(look.Pending()) << "nothing changed: nothing to wake for";

  // One event's changes: looked at once, after all of them.
  for (state = 1; state <= 3; ++state) look.Changed();
  --state;
  EXPECT_EQ(looks, 0) << "not in the middle of the event";
  ASSERT_TRUE(RunUntil([&] { return !look.Pending(); }));
  EXPECT_EQ(looks, 1);
  EXPECT_EQ(seen, 3);

  // More at once after it: the last of them is looked at, later.
  const int before = looks;
  for (int i = 0; i < 100; ++i) {
    state = 10 + i;
    look.Changed();
    QCoreApplication::processEvents();
  }
  ASSERT_TRUE(RunUntil([&] { return !look.Pending(); }));
  EXPECT_EQ(seen, 109) << "the last change is never left unseen";
  EXPECT_LT(looks - before, 100) << "changes that come together are looked at together";

  // Idle: no timer left running, and none started.
  QCoreApplication::processEvents();
  EXPECT_FALSE(look.Pending());
  const int idle = looks;
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(looks, idle);
}

}  // namespace
