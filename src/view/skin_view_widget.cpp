#include "view/skin_view_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include "view/main_view.h"

namespace view {

SkinViewWidget::SkinViewWidget(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  // Every pixel comes from the back buffer.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A tap on the view gives the keyboard back to its window.
  setFocusPolicy(Qt::ClickFocus);
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
}

void SkinViewWidget::mousePressEvent(QMouseEvent* event) {
  if (!view_ || event->button() != Qt::LeftButton) return;
  penDown_ = true;
  const QPoint p = event->position().toPoint();
  if (penHandler_) {
    penHandler_(Pen::Down, p.x(), p.y());
    return;
  }
  int id = 0;
  const bool handled = view_->PointerDown(p.x(), p.y(), &id);
  emit PenDown(handled, id);
}

void SkinViewWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!view_ || !penDown_) return;
  const QPoint p = event->position().toPoint();
  if (penHandler_) {
    penHandler_(Pen::Move, p.x(), p.y());
    return;
  }
  int id = 0;
  const bool handled = view_->PointerMove(p.x(), p.y(), &id);
  emit PenMove(handled, id);
}

void SkinViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!view_ || !penDown_ || event->button() != Qt::LeftButton) return;
  penDown_ = false;
  const QPoint p = event->position().toPoint();
  if (penHandler_) {
    penHandler_(Pen::Up, p.x(), p.y());
    return;
  }
  int id = 0;
  const bool handled = view_->PointerUp(p.x(), p.y(), &id);
  emit PenUp(handled, id);
}

}  // namespace view
