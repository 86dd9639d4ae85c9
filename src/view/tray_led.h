#pragma once
// A blinking red record indicator in the system tray.

#include <atomic>

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include "view/record_led.h"

namespace view {

class TrayLed : public QObject, public LedIndicator {
 public:
  static constexpr int kBlinkIntervalMs = 500;

  // True when the desktop shows tray icons.
  static bool Available();

  explicit TrayLed(QObject* parent = nullptr);
  ~TrayLed() override;

  // Thread-safe: the monitor thread switches the LED too.
  void SetBlinking(bool blinking) override;
  bool IsBlinking() const { return blinking_.load(); }
  // Whether the lamp is lit in the current blink phase.
  bool IsLit() const { return lit_; }
  // One blink step, as the timer makes it.
  void Tick();

 private:
  void Apply(bool blinking);

  QSystemTrayIcon tray_;
  QTimer timer_;
  QIcon litIcon_;
  QIcon darkIcon_;
  std::atomic<bool> blinking_{false};
  bool lit_ = false;
};

}  // namespace view
