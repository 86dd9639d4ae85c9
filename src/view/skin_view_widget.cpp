#include "view/skin_view_widget.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "view/main_view.h"
#include "view/skin_accessible.h"
#include "view/skin_items.h"

namespace view {
namespace {

// How often a screen reader is told what the monitor thread drew.
constexpr int kAccessibilityPollMs = 250;

quint64 StateBits(const QAccessible::State& state) {
  return (state.disabled ? 1u : 0u) | (state.pressed ? 2u : 0u) | (state.checked ? 4u : 0u) |
         (state.focused ? 8u : 0u);
}

}  // namespace

SkinViewWidget::SkinViewWidget(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  // Every pixel comes from the back buffer.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A tap on the view gives the keyboard back to its window; Tab reaches
  // its controls.
  setFocusPolicy(Qt::StrongFocus);
  InstallSkinAccessibility();
  accessibilityPoll_ = new QTimer(this);
  accessibilityPoll_->setObjectName(QStringLiteral("accessibility poll"));
  accessibilityPoll_->setInterval(kAccessibilityPollMs);
  connect(accessibilityPoll_, &QTimer::timeout, this, &SkinViewWidget::NotifyChanges);
  QAccessible::installActivationObserver(this);
  accessibilityActiveChanged(QAccessible::isActive());
}

SkinViewWidget::~SkinViewWidget() { QAccessible::removeActivationObserver(this); }

void SkinViewWidget::accessibilityActiveChanged(bool active) {
  if (active)
    accessibilityPoll_->start();
  else
    accessibilityPoll_->stop();
}

void SkinViewWidget::SetView(MainView* view) {
  view_ = view;
  seen_.clear();
  if (view_ == nullptr) focusItem_ = -1;
}

void SkinViewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!view_) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // Whole-pixel scaling keeps the skin sharp on a scaled desktop.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  view_->Paint(painter);
  if (hasFocus() && focusItem_ >= 0) {
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(SkinItemRect(*view_, focusItem_).adjusted(-2, -2, 1, 1));
  }
}

void SkinViewWidget::PenAt(Pen pen, QPoint p) {
  if (!view_) return;
  if (pen == Pen::Down) penDown_ = true;
  if (pen != Pen::Down && !penDown_) return;
  if (pen == Pen::Up) penDown_ = false;
  if (penHandler_) {
    penHandler_(pen, p.x(), p.y());
    return;
  }
  int id = 0;
  switch (pen) {
    case Pen::Down: emit PenDown(view_->PointerDown(p.x(), p.y(), &id), id); break;
    case Pen::Move: emit PenMove(view_->PointerMove(p.x(), p.y(), &id), id); break;
    case Pen::Up: emit PenUp(view_->PointerUp(p.x(), p.y(), &id), id); break;
  }
}

void SkinViewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) PenAt(Pen::Down, event->position().toPoint());
}

void SkinViewWidget::mouseMoveEvent(QMouseEvent* event) { PenAt(Pen::Move, event->position().toPoint()); }

void SkinViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) PenAt(Pen::Up, event->position().toPoint());
}

void SkinViewWidget::TapControl(int id) {
  const int index = SkinItemOfControl(id);
  if (!view_ || index < 0 || penDown_) return;
  const QPoint centre = SkinItemRect(*view_, index).center();
  PenAt(Pen::Down, centre);
  PenAt(Pen::Up, centre);
}

void SkinViewWidget::SetSliderPercent(int id, int percent) {
  if (!view_ || penDown_ || id < kFirstSlider || id >= kFirstSlider + kSliderCount) return;
  const QPoint at = SliderPointFor(*view_, id, percent);
  PenAt(Pen::Down, at);
  PenAt(Pen::Up, at);
}

void SkinViewWidget::StepSlider(int id, int direction) {
  if (!view_) return;
  const int step = id == kVolumeSlider ? 5 : 10;
  SetSliderPercent(id, std::clamp(view_->SliderPercent(id) + direction * step, 0, 100));
}

void SkinViewWidget::keyPressEvent(QKeyEvent* event) {
  const SkinItem* item = view_ && hasFocus() && focusItem_ >= 0 ? &SkinItemAt(focusItem_) : nullptr;
  if (item != nullptr && event->modifiers() == Qt::NoModifier) {
    if (item->kind == SkinItemKind::Button && event->key() == Qt::Key_Space) {
      if (!event->isAutoRepeat()) TapControl(item->id);
      return;
    }
    if (item->kind == SkinItemKind::Slider && (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown)) {
      StepSlider(item->id, event->key() == Qt::Key_PageUp ? 1 : -1);
      return;
    }
  }
  // The transport's keys are the window's.
  event->ignore();
}

int SkinViewWidget::NextFocusable(int from, int step) const {
  for (int i = from; i >= 0 && i < SkinItemCount(); i += step) {
    if (SkinItemEnabled(*view_, i)) return i;
  }
  return -1;
}

void SkinViewWidget::focusInEvent(QFocusEvent* event) {
  if (view_ && event->reason() == Qt::TabFocusReason) SetFocusItem(NextFocusable(0, 1));
  if (view_ && event->reason() == Qt::BacktabFocusReason) SetFocusItem(NextFocusable(SkinItemCount() - 1, -1));
  QWidget::focusInEvent(event);
  update();
}

void SkinViewWidget::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

bool SkinViewWidget::focusNextPrevChild(bool next) {
  if (view_ && hasFocus()) {
    const int step = next ? 1 : -1;
    const int start = focusItem_ < 0 ? (next ? 0 : SkinItemCount() - 1) : focusItem_ + step;
    const int target = NextFocusable(start, step);
    if (target >= 0) {
      SetFocusItem(target);
      return true;
    }
  }
  return QWidget::focusNextPrevChild(next);
}

void SkinViewWidget::FocusItem(int index) {
  if (!view_ || index < 0 || index >= SkinItemCount()) return;
  setFocus(Qt::OtherFocusReason);
  SetFocusItem(index);
}

void SkinViewWidget::SetFocusItem(int index) {
  focusItem_ = index;
  update();
  if (index < 0 || !QAccessible::isActive()) return;
  if (QAccessibleInterface* skin = QAccessible::queryAccessibleInterface(this)) {
    if (QAccessibleInterface* child = skin->child(index)) {
      QAccessibleEvent focus(child, QAccessible::Focus);
      QAccessible::updateAccessibility(&focus);
    }
  }
}

void SkinViewWidget::NotifyChanges() {
  if (!view_ || !QAccessible::isActive()) return;
  QAccessibleInterface* skin = QAccessible::queryAccessibleInterface(this);
  if (skin == nullptr) return;
  const int count = skin->childCount();
  const bool first = seen_.size() != static_cast<size_t>(count);
  if (first) seen_.assign(static_cast<size_t>(count), Seen{});
  for (int i = 0; i < count; ++i) {
    QAccessibleInterface* child = skin->child(i);
    Seen now{StateBits(child->state()), SkinItemValue(*view_, i), SkinItemText(*view_, i)};
    Seen& before = seen_[static_cast<size_t>(i)];
    if (!first && now.state != before.state) {
      QAccessible::State changed;
      changed.disabled = true;
      changed.pressed = true;
      changed.checked = true;
      changed.focused = true;
      QAccessibleStateChangeEvent event(child, changed);
      QAccessible::updateAccessibility(&event);
    }
    const SkinItemKind kind = SkinItemAt(i).kind;
    if (!first && now.value != before.value && (kind == SkinItemKind::Slider || kind == SkinItemKind::Meter)) {
      QAccessibleValueChangeEvent event(child, now.value);
      QAccessible::updateAccessibility(&event);
    }
    if (!first && now.text != before.text) {
      QAccessibleTextUpdateEvent event(child, 0, before.text, now.text);
      QAccessible::updateAccessibility(&event);
    }
    before = std::move(now);
  }
}

}  // namespace view
