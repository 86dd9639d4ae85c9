#pragma once
// The Misc page ("Miscellaneous"): amplification of the recorded and the
// played sound, the LED while recording, and whether the hardware Record
// button starts this program. Applying it writes the three flags and, every
// time, the default-recorder entry.

#include "sheet/settings_page.h"

class QCheckBox;

namespace sheet {

class MiscPage : public SettingsPage {
  Q_OBJECT

 public:
  MiscPage(settings::SettingsStore* store, QWidget* parent);

  void Apply() override;
  QList<QWidget*> TabStops() const override;

  QCheckBox* AmplifyInputBox() const { return amplifyInput_; }
  QCheckBox* AmplifyOutputBox() const { return amplifyOutput_; }
  QCheckBox* LedBlinkBox() const { return ledBlink_; }
  QCheckBox* DefaultRecorderBox() const { return defaultRecorder_; }

 private:
  QCheckBox* amplifyInput_ = nullptr;
  QCheckBox* amplifyOutput_ = nullptr;
  QCheckBox* ledBlink_ = nullptr;
  QCheckBox* defaultRecorder_ = nullptr;
};

}  // namespace sheet
