#include "app/change_look.h"

#include <QTimer>

namespace app {

ChangeLook::ChangeLook(int intervalMs, std::function<void()> look, QObject* parent)
    : QObject(parent), intervalMs_(intervalMs), look_(std::move(look)), last_(new QTimer(this)) {
  last_->setObjectName(QStringLiteral("change look"));
  last_->setSingleShot(true);
  connect(last_, &QTimer::timeout, this, [this] { Look(); });
}

void ChangeLook::Changed() {
  if (!since_.isValid() || since_.elapsed() >= intervalMs_) {
    // When the event that changed things is done, with everything it
    // changed: a zero timer runs before the thread sleeps again.
    if (!last_->isActive() || last_->interval() != 0) last_->start(0);
    return;
  }
  // Restarted with every change that comes too soon: while they keep coming
  // (a frame ten times a second) one of them looks once the interval is up,
  // and the timer fires only after the last.
  last_->start(intervalMs_);
}

bool ChangeLook::Pending() const { return last_->isActive(); }

void ChangeLook::Look() {
  last_->stop();
  since_.start();
  look_();
}

}  // namespace app
