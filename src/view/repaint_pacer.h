#pragma once
// Repaints that threads other than the UI thread ask for (the monitor
// thread's meter, slider and texts, with every buffer) reach the window at
// most once a frame: the first change after a quiet spell is shown at once,
// and while changes keep coming a timer on the UI thread takes everything
// gathered once every kFrameMs. A person sees no difference; the UI thread
// wakes ten times a second instead of with every buffer.

#include <functional>
#include <memory>
#include <mutex>

#include <QPointer>
#include <QRect>
#include <QRegion>

class QTimer;
class QWidget;

namespace view {

class RepaintPacer {
 public:
  static constexpr int kFrameMs = 100;
  // Frames without a change before the timer stops.
  static constexpr int kQuietFrames = 3;

  // Any thread. With unlessCovered, the area is left alone where a sibling
  // widget of `window`'s lies over it when the repaint is made.
  void HandOver(QWidget* window, const QRect& rect, bool unlessCovered);

  // Called on the UI thread whenever a change reaches the window: watchers
  // of what the view shows look then instead of polling it. Changes that lie
  // wholly within `unwatched` (what changes with every buffer but tells the
  // watcher nothing) do not call it.
  void OnShown(std::function<void()> listener, const QRegion& unwatched = {}) {
    pending_->shown = std::move(listener);
    pending_->unwatched = unwatched;
  }

 private:
  // Shared with the queued calls and the timer, which may outlive the pacer.
  struct Pending {
    std::mutex mutex;
    QRegion always;
    QRegion unlessCovered;
    bool due = false;          // a queued call or the running timer takes them
    int quietFrames = 0;       // frames in a row that found nothing
    QPointer<QTimer> frames;   // UI thread only
    std::function<void()> shown;  // UI thread only
    QRegion unwatched;            // UI thread only
  };
  static void TellShown(const Pending& pending, const QRegion& shown);
  static void Show(QWidget* window, Pending& pending);
  static void Tick(QWidget* window, const std::shared_ptr<Pending>& pending);

  std::shared_ptr<Pending> pending_ = std::make_shared<Pending>();
};

}  // namespace view
