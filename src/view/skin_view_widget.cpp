#include "view/skin_view_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include "view/main_view.h"

namespace view {

SkinViewWidget::SkinViewWidget(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  // Every pixel comes from the back buffer.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void SkinViewWidget::paintEvent(QPaintEvent*) {
  if (!view_) return;
  QPainter painter(this);
  view_->Paint(painter);
}

void SkinViewWidget::mousePressEvent(QMouseEvent* event) {
  if (!view_ || event->button() != Qt::LeftButton) return;
  penDown_ = true;
  const QPoint p = event->position().toPoint();
  int id = 0;
  const bool handled = view_->PointerDown(p.x(), p.y(), &id);
  emit PenDown(handled, id);
}

void SkinViewWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!view_ || !penDown_) return;
  const QPoint p = event->position().toPoint();
  int id = 0;
  const bool handled = view_->PointerMove(p.x(), p.y(), &id);
  emit PenMove(handled, id);
}

void SkinViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!view_ || !penDown_ || event->button() != Qt::LeftButton) return;
  penDown_ = false;
  const QPoint p = event->position().toPoint();
  int id = 0;
  const bool handled = view_->PointerUp(p.x(), p.y(), &id);
  emit PenUp(handled, id);
}

}  // namespace view
