#include "app/skin_area.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/controller.h"

namespace app {
namespace {

// Skin coordinates are the widget's own: on a scaled desktop Qt hands the
// pen over in the same logical pixels the skin is drawn in.
QPoint SkinPoint(const QMouseEvent* event) { return event->position().toPoint(); }

}  // namespace

SkinArea::SkinArea(QWidget* parent) : QWidget(parent) {
  setFixedSize(kWidth, kHeight);
  // Every pixel comes from the back buffer.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A tap on the view gives the keyboard back to the main window.
  setFocusPolicy(Qt::ClickFocus);
}

void SkinArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (controller_ == nullptr) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // Whole-pixel scaling stays sharp on a scaled desktop: no smoothing.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  controller_->View.Paint(painter);
}

void SkinArea::mousePressEvent(QMouseEvent* event) {
  if (controller_ == nullptr || event->button() != Qt::LeftButton) return;
  penDown_ = true;
  const QPoint p = SkinPoint(event);
  controller_->Transport.OnLButtonDown(p.x(), p.y());
}

void SkinArea::mouseMoveEvent(QMouseEvent* event) {
  if (controller_ == nullptr || !penDown_) return;
  const QPoint p = SkinPoint(event);
  controller_->Transport.OnMouseMove(p.x(), p.y());
}

void SkinArea::mouseReleaseEvent(QMouseEvent* event) {
  if (controller_ == nullptr || !penDown_ || event->button() != Qt::LeftButton) return;
  penDown_ = false;
  const QPoint p = SkinPoint(event);
  controller_->Transport.OnLButtonUp(p.x(), p.y());
}

}  // namespace app
