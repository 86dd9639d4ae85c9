#include "view/key_input.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include "view/hardware_buttons.h"
#include "view/x11_auto_repeat.h"

namespace view {
namespace {

// The event judged at its window, recognised again while the window hands
// it to its widgets. Events live on the stack of the window system's
// dispatch, so the address alone could match a later event: its type, key
// and time must match as well.
struct Judged {
  const QKeyEvent* event = nullptr;
  QEvent::Type type = QEvent::None;
  int key = 0;
  quint64 timestamp = 0;
  KeyPhase phase = KeyPhase::Press;
};

class KeyInput : public QObject {
 public:
  KeyInput() {
    detectable_ = EnableX11DetectableAutoRepeat();
    // A key held while another program took the keyboard never shows its
    // release here: every key counts as up once the program is inactive.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
      if (state != Qt::ApplicationActive) held_.clear();
    });
  }

  KeyPhase Phase(const QKeyEvent* event) const {
    if (event == judged_.event && event->type() == judged_.type && event->key() == judged_.key &&
        event->timestamp() == judged_.timestamp)
      return judged_.phase;
    return FlagPhase(event);
  }

  bool detectable_ = false;
  QPointer<QWidget> owner_;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    KeyPhase phase;
    if (watched->isWindowType()) {
      phase = Judge(key);
      judged_ = {key, key->type(), key->key(), key->timestamp(), phase};
    } else {
      phase = Phase(key);
    }
    return Route(key, phase);
  }

 private:
  static KeyPhase FlagPhase(const QKeyEvent* event) {
    if (event->type() == QEvent::KeyPress) return event->isAutoRepeat() ? KeyPhase::Repeat : KeyPhase::Press;
    return event->isAutoRepeat() ? KeyPhase::RepeatRelease : KeyPhase::Release;
  }

  KeyPhase Judge(const QKeyEvent* event) {
    const int key = event->key();
    if (event->type() == QEvent::KeyPress) {
      if (event->isAutoRepeat() || held_.contains(key)) return KeyPhase::Repeat;
      held_.insert(key);
      return KeyPhase::Press;
    }
    if (event->isAutoRepeat()) return KeyPhase::RepeatRelease;
    held_.remove(key);
    return KeyPhase::Release;
  }

  // The grabbed application buttons go to their window as hot keys, once
  // down and once up; their repeats are dropped here.
  bool Route(const QKeyEvent* event, KeyPhase phase) {
    QWidget* owner = owner_.data();
    if (owner == nullptr) return false;
    const uint32_t code = DeviceKeyCode(event->key());
    if (!IsApplicationButton(code)) return false;
    if (phase == KeyPhase::Press || phase == KeyPhase::Release)
      QCoreApplication::postEvent(owner, new HotKeyEvent(code, phase == KeyPhase::Release));
    return true;
  }

  QSet<int> held_;
  Judged judged_;
};

KeyInput* Input() {
  static KeyInput* input = nullptr;
  if (input == nullptr && QCoreApplication::instance() != nullptr) {
    input = new KeyInput;
    input->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(input);
  }
  return input;
}

}  // namespace

void InstallKeyInput() { Input(); }

KeyPhase PhaseOf(const QKeyEvent* event) {
  if (KeyInput* input = Input()) return input->Phase(event);
  if (event->type() == QEvent::KeyPress) return event->isAutoRepeat() ? KeyPhase::Repeat : KeyPhase::Press;
  return event->isAutoRepeat() ? KeyPhase::RepeatRelease : KeyPhase::Release;
}

bool DetectableAutoRepeat() {
  KeyInput* input = Input();
  return input != nullptr && input->detectable_;
}

void GrabApplicationKeys(QWidget* window) {
  if (KeyInput* input = Input()) input->owner_ = window;
}

QWidget* ApplicationKeysOwner() {
  KeyInput* input = Input();
  return input != nullptr ? input->owner_.data() : nullptr;
}

}  // namespace view
