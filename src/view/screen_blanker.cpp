#include "view/screen_blanker.h"

#include <QEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>

#include "view/display_power.h"

namespace view {

ScreenBlanker::ScreenBlanker(QWidget* target) : QWidget(target), target_(target) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setGeometry(target->rect());
  target->installEventFilter(this);
  hide();
}

ScreenBlanker::~ScreenBlanker() {
  if (installed_) InstallDisplayBlanker(nullptr);
}

void ScreenBlanker::Install() {
  installed_ = true;
  // Callers may be on any thread; widgets are touched on the UI thread only.
  InstallDisplayBlanker([this](bool on) {
    if (QThread::currentThread() == thread()) {
      SetScreenOn(on);
    } else {
      QMetaObject::invokeMethod(this, [this, on] { SetScreenOn(on); }, Qt::QueuedConnection);
    }
  });
}

void ScreenBlanker::SetScreenOn(bool on) {
  if (on) {
    hide();
    return;
  }
  setGeometry(target_->rect());
  show();
  raise();
}

void ScreenBlanker::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
}

void ScreenBlanker::mousePressEvent(QMouseEvent* event) {
  event->accept();
  SetScreenOn(true);
  if (wake_) wake_();
}

bool ScreenBlanker::eventFilter(QObject* watched, QEvent* event) {
  if (watched == target_ && event->type() == QEvent::Resize) setGeometry(target_->rect());
  return QWidget::eventFilter(watched, event);
}

}  // namespace view
