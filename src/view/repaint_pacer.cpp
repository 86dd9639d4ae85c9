#include "view/repaint_pacer.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace view {
namespace {

// Whether a widget beside the view's in the main window covers the area
// (the list, made later, lies on top of the view's lower part).
bool Covered(const QWidget* view, const QRect& rect) {
  const QWidget* parent = view->parentWidget();
  if (parent == nullptr) return false;
  const QRect inParent = rect.translated(view->pos());
  for (const QObject* child : parent->children()) {
    const auto* widget = qobject_cast<const QWidget*>(child);
    if (widget != nullptr && widget != view && widget->isVisible() && !widget->isWindow() &&
        widget->geometry().contains(inParent))
      return true;
  }
  return false;
}

}  // namespace

void RepaintPacer::HandOver(QWidget* window, const QRect& rect, bool unlessCovered) {
  if (!window || rect.isEmpty()) return;
  if (QThread::currentThread() == window->thread()) {
    if (!unlessCovered || !Covered(window, rect)) window->update(rect);
    TellShown(*pending_, rect);
    return;
  }
  const std::shared_ptr<Pending> pending = pending_;
  {
    std::lock_guard lock(pending->mutex);
    (unlessCovered ? pending->unlessCovered : pending->always) += rect;
    if (pending->due) return;
    pending->due = true;
  }
  // A window gone by then drops the call with it.
  QMetaObject::invokeMethod(
      window,
      [window, pending] {
        Show(window, *pending);
        {
          std::lock_guard lock(pending->mutex);
          pending->quietFrames = 0;
        }
        if (!pending->frames) {
          pending->frames = new QTimer(window);
          pending->frames->setInterval(kFrameMs);
          QObject::connect(pending->frames, &QTimer::timeout, window, [window, pending] { Tick(window, pending); });
        }
        pending->frames->start();
      },
      Qt::QueuedConnection);
}

void RepaintPacer::Show(QWidget* window, Pending& pending) {
  QRegion always;
  QRegion unlessCovered;
  {
    std::lock_guard lock(pending.mutex);
    std::swap(always, pending.always);
    std::swap(unlessCovered, pending.unlessCovered);
  }
  for (const QRect& area : unlessCovered)
    if (!Covered(window, area)) always += area;
  if (always.isEmpty()) return;
  // On X11 painted now, from the frame's own wake: update() would post the
  // request and go round the event loop once more for it, every frame. A
  // Wayland compositor paces frames itself (a hidden window gets none), and
  // update() follows that pace.
  static const bool paintNow = QGuiApplication::platformName() == QLatin1String("xcb");
  if (paintNow)
    window->repaint(always);
  else
    window->update(always);
  TellShown(pending, always);
}

void RepaintPacer::TellShown(const Pending& pending, const QRegion& shown) {
  if (pending.shown && !(shown - pending.unwatched).isEmpty()) pending.shown();
}

void RepaintPacer::Tick(QWidget* window, const std::shared_ptr<Pending>& pending) {
  {
    std::lock_guard lock(pending->mutex);
    if (pending->always.isEmpty() && pending->unlessCovered.isEmpty()) {
      // Quiet for a few frames: the next change is shown as it comes. (Input
      // arriving in pieces as long as a frame leaves single frames empty;
      // stopping on each would wake the thread twice a frame.)
      if (++pending->quietFrames >= kQuietFrames) {
        pending->due = false;
        if (pending->frames) pending->frames->stop();
      }
      return;
    }
    pending->quietFrames = 0;
  }
  Show(window, *pending);
}

}  // namespace view
