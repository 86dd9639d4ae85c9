#include "view/tray_led.h"

#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QThread>

namespace view {
namespace {

QIcon Lamp(const QColor& color) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(40, 0, 0), 2));
  painter.setBrush(color);
  painter.drawEllipse(QRectF(4, 4, 24, 24));
  return QIcon(pixmap);
}

}  // namespace

bool TrayLed::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

TrayLed::TrayLed(QObject* parent)
    : QObject(parent), litIcon_(Lamp(QColor(230, 20, 20))), darkIcon_(Lamp(QColor(90, 30, 30))) {
  tray_.setToolTip(QStringLiteral("Quillon: recording"));
  tray_.setIcon(darkIcon_);
  timer_.setInterval(kBlinkIntervalMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

TrayLed::~TrayLed() {
  UninstallLed(this);
  tray_.hide();
}

void TrayLed::SetBlinking(bool blinking) {
  blinking_.store(blinking);
  if (QThread::currentThread() == thread()) {
    Apply(blinking);
  } else {
    // The latest request wins when it runs: a stale blink queued by the
    // monitor must not relight the lamp after the user's stop switched it off.
    QMetaObject::invokeMethod(this, [this] { Apply(blinking_.load()); }, Qt::QueuedConnection);
  }
}

void TrayLed::Apply(bool blinking) {
  if (blinking) {
    if (!timer_.isActive()) {
      lit_ = true;
      tray_.setIcon(litIcon_);
      tray_.show();
      timer_.start();
    }
    return;
  }
  timer_.stop();
  lit_ = false;
  tray_.hide();
}

void TrayLed::Tick() {
  if (!timer_.isActive()) return;
  lit_ = !lit_;
  tray_.setIcon(lit_ ? litIcon_ : darkIcon_);
}

}  // namespace view
