#include "view/child_modal.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "view/hardware_buttons.h"

namespace view {
namespace {

constexpr const char* kCoverProperty = "quillonChildModal";

// Watches the cover's showing and hiding and, while it shows, its window.
class ChildModal : public QObject {
 public:
  explicit ChildModal(QWidget* cover) : QObject(cover), cover_(cover) {
    cover->installEventFilter(this);
    if (QWidget* window = cover->parentWidget()) {
      window->installEventFilter(this);
      focusBefore_ = window->focusWidget();
    }
    if (cover->isVisible()) TakeOver();
  }

  bool Active() const { return active_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    QWidget* window = cover_->parentWidget();
    if (watched == cover_) {
      if (event->type() == QEvent::Show) TakeOver();
      if (event->type() == QEvent::Hide) GiveBack();
      return false;
    }
    if (watched != window || !active_) return false;
    switch (event->type()) {
      case QEvent::Resize:
        cover_->setGeometry(window->rect());
        break;
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
        // A key the cover did not take ends here: it must not reach the
        // window's own handling (a transport key) while the cover is up.
        event->accept();
        return true;
      default:
        break;
    }
    return false;
  }

 private:
  void TakeOver() {
    QWidget* window = cover_->parentWidget();
    if (active_ || window == nullptr) return;
    active_ = true;
    cover_->setGeometry(window->rect());
    cover_->raise();
    for (QObject* child : window->children()) {
      auto* widget = qobject_cast<QWidget*>(child);
      if (widget == nullptr || widget == cover_ || widget->isWindow() || !widget->isVisible() ||
          !widget->isEnabled())
        continue;
      widget->setEnabled(false);
      disabled_.append(widget);
    }
    // The keyboard goes into the cover; it comes back where it was (a cover
    // may have put it inside itself while it was being made).
    if (QWidget* focus = window->focusWidget(); focus != nullptr && focus != cover_ && !cover_->isAncestorOf(focus))
      focusBefore_ = focus;
    keysOwner_ = ApplicationKeysOwner();
    if (keysOwner_ == window || window->isActiveWindow()) GrabApplicationKeys(cover_);
  }

  void GiveBack() {
    if (!active_) return;
    active_ = false;
    for (const QPointer<QWidget>& widget : disabled_) {
      if (widget) widget->setEnabled(true);
    }
    disabled_.clear();
    QWidget* window = cover_->parentWidget();
    if (ApplicationKeysOwner() == cover_)
      GrabApplicationKeys(window != nullptr && window->isActiveWindow() ? window : keysOwner_.data());
    keysOwner_ = nullptr;
    // Before the cover's own focus is moved on to the next widget in the
    // chain: the widget that had it before the cover showed gets it back.
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && cover_->isAncestorOf(focus) && window != nullptr) {
      QWidget* back = focusBefore_.data();
      if (back != nullptr && back != cover_ && !cover_->isAncestorOf(back) && back->isVisible() && back->isEnabled())
        back->setFocus(Qt::OtherFocusReason);
      else
        window->setFocus(Qt::OtherFocusReason);
    }
  }

  QWidget* cover_;
  bool active_ = false;
  QList<QPointer<QWidget>> disabled_;
  QPointer<QWidget> keysOwner_;
  QPointer<QWidget> focusBefore_;
};

ChildModal* ModalOf(const QWidget* cover) {
  return static_cast<ChildModal*>(cover->property(kCoverProperty).value<QObject*>());
}

}  // namespace

void MakeChildModal(QWidget* cover) {
  if (cover == nullptr || cover->isWindow() || ModalOf(cover) != nullptr) return;
  auto* modal = new ChildModal(cover);
  cover->setProperty(kCoverProperty, QVariant::fromValue(static_cast<QObject*>(modal)));
}

QWidget* ChildModalOf(const QWidget* window) {
  if (window == nullptr) return nullptr;
  // The last child is the topmost: a cover opened from another one wins.
  const QObjectList& children = window->children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto* widget = qobject_cast<QWidget*>(*it);
    if (widget == nullptr || widget->isWindow()) continue;
    if (ChildModal* modal = ModalOf(widget); modal != nullptr && modal->Active()) return widget;
  }
  return nullptr;
}

QWidget* ActiveModalWidget() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* cover = ChildModalOf(QApplication::activeWindow())) return cover;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (QWidget* cover = ChildModalOf(window)) return cover;
  }
  return nullptr;
}

}  // namespace view
