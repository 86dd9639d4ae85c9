// Repaints that the monitor thread asks for reach the window joined: one
// repaint for everything asked between two frames, nothing asked ever left
// unshown, and no timer left running once the changes stop.
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QRegion>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "support/run_until.h"

#include "view/repaint_pacer.h"

namespace {

class PaintLog : public QWidget {
 public:
  std::vector<QRegion> paints;

 protected:
  void paintEvent(QPaintEvent* event) override { paints.push_back(event->region()); }
};

using testsupport::RunUntil;

bool FramesRunning(const QWidget& window) {
  for (const QTimer* timer : window.findChildren<QTimer*>())
    if (timer->isActive()) return true;
  return false;
}

// From another thread, while the UI thread handles nothing.
void HandOverFromThread(view::RepaintPacer& pacer, QWidget* window, const std::vector<QRect>& rects) {
  std::thread([&] {
    for (const QRect& r : rects) pacer.HandOver(window, r, false);
  }).join();
}

TEST(RepaintPacerTest, ChangesFromAnotherThreadAreShownJoinedAndNoneIsLost) {
  PaintLog window;
  window.resize(240, 320);
  window.show();
  ASSERT_TRUE(RunUntil([&] { return !window.paints.empty(); }));
  window.paints.clear();
  view::RepaintPacer pacer;
  // Watchers of the view hear of every change shown, on the UI thread.
  int shownCalls = 0;
  bool offThread = false;
  pacer.OnShown([&] {
    ++shownCalls;
    offThread = offThread || QThread::currentThread() != window.thread();
  });

  // A burst after a quiet spell: one repaint, at once, of all of it.
  const std::vector<QRect> first = {{10, 10, 5, 5}, {100, 50, 20, 4}, {30, 200, 8, 8}};
  HandOverFromThread(pacer, &window, first);
  ASSERT_TRUE(RunUntil([&] { return !window.paints.empty(); }));
  QCoreApplication::processEvents();
  ASSERT_EQ(window.paints.size(), 1u);
  for (const QRect& r : first) EXPECT_TRUE(window.paints[0].contains(r)) << r.x() << "," << r.y();
  EXPECT_EQ(shownCalls, 1) << "once for the joined burst";

  // While frames run, the next changes wait for the next frame, joined.
  ASSERT_TRUE(FramesRunning(window));
  const std::vector<QRect> second = {{50, 60, 10, 10}, {0, 300, 240, 20}};
  HandOverFromThread(pacer, &window, second);
  ASSERT_TRUE(RunUntil([&] { return window.paints.size() >= 2; }));
  QRegion shown;
  for (size_t i = 1; i < window.paints.size(); ++i) shown += window.paints[i];
  for (const QRect& r : second) EXPECT_TRUE(shown.contains(r)) << r.x() << "," << r.y();

  // A quiet frame stops them; the next change is shown at once again.
  ASSERT_TRUE(RunUntil([&] { return !FramesRunning(window); }));
  const size_t before = window.paints.size();
  HandOverFromThread(pacer, &window, {{5, 5, 2, 2}});
  ASSERT_TRUE(RunUntil([&] { return window.paints.size() > before; }));
  EXPECT_TRUE(window.paints.back().contains(QRect(5, 5, 2, 2)));
  const int fromThreads = shownCalls;
  EXPECT_GE(fromThreads, 3);
  pacer.HandOver(&window, QRect(7, 7, 2, 2), false);  // from the UI thread itself
  EXPECT_EQ(shownCalls, fromThreads + 1);
  EXPECT_FALSE(offThread);
}

// What changes with every buffer (the meter) is shown but does not make a
// watcher look; anything reaching beyond it does, joined with it or not.
TEST(RepaintPacerTest, AWatcherHearsOnlyOfChangesBeyondWhatItLeavesUnwatched) {
  PaintLog window;
  window.resize(240, 320);
  window.show();
  ASSERT_TRUE(RunUntil([&] { return !window.paints.empty(); }));
  view::RepaintPacer pacer;
  int shownCalls = 0;
  const QRect meter(20, 100, 200, 30);
  pacer.OnShown([&] { ++shownCalls; }, QRegion(meter) + QRect(57, 133, 167, 13));
  const struct {
    std::vector<QRect> rects;
    bool fromUiThread, told;
  } steps[] = {
      {{{20, 100, 200, 30}}, false, false},
      {{{30, 105, 10, 10}, {60, 135, 100, 10}}, false, false},
      {{{20, 100, 200, 30}, {5, 5, 40, 10}}, false, true},
      {{{210, 120, 20, 20}}, false, true},
      {{{25, 101, 5, 5}}, true, false},
      {{{0, 0, 240, 20}}, true, true},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    // Each after the frames have stopped, so that each is one frame.
    ASSERT_TRUE(RunUntil([&] { return !FramesRunning(window); })) << i;
    const size_t before = window.paints.size();
    const int calls = shownCalls;
    if (steps[i].fromUiThread) {
      for (const QRect& r : steps[i].rects) pacer.HandOver(&window, r, false);
    } else {
      HandOverFromThread(pacer, &window, steps[i].rects);
    }
    ASSERT_TRUE(RunUntil([&] { return window.paints.size() > before; })) << "shown all the same, step " << i;
    EXPECT_EQ(shownCalls - calls, steps[i].told ? 1 : 0) << "step " << i;
  }
}

}  // namespace
