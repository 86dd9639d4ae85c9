#pragma once
// The notification LED: a blinking red record indicator. The program installs
// a system-tray indicator where the desktop has a tray; without one the LED
// count is 0 and the calls do nothing, as on a handheld without an LED.

namespace view {

// What shows the LED; SetBlinking may be called from any thread.
class LedIndicator {
 public:
  virtual ~LedIndicator() = default;
  virtual void SetBlinking(bool blinking) = 0;
};

// Installs (or, with null, removes) the indicator; not owned.
void InstallLed(LedIndicator* led);
// Removes led if it is the one installed (an indicator going away).
void UninstallLed(LedIndicator* led);

// Number of notification LEDs: 1 with an indicator installed, else 0.
int LedCount();
// Blinks the LED (true) or switches it off; false when there is no LED.
bool SetRecordLed(bool blink);

}  // namespace view
