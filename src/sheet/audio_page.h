#pragma once
// The Audio page: which device records ("Record from:") and which plays
// ("Play to:"), each "Default" (the desktop's, followed as it changes) or
// one of the sound server's devices by its description (PortAudio's by
// name where no server runs); and how much of the input before speech
// voice activation keeps ("Keep before speech:", 0 to 1000 ms). The lists
// follow devices that come and go while the page exists. A chosen device
// that is not connected stays chosen, marked so. Applying writes the
// preferences beside settings.dat.

#include <string>
#include <vector>

#include "sheet/settings_page.h"

class QComboBox;
class QLabel;
class QSlider;

namespace sheet {

class AudioPage : public SettingsPage {
  Q_OBJECT

 public:
  AudioPage(settings::SettingsStore* store, QWidget* parent);
  ~AudioPage() override;

  void Apply() override;
  QList<QWidget*> TabStops() const override;

  QComboBox* RecordBox() const { return record_; }
  QComboBox* PlayBox() const { return play_; }
  QSlider* PreRollSlider() const { return preRoll_; }
  QLabel* PreRollValue() const { return preRollValue_; }

 private:
  // Fills a list with "Default" and the devices, keeping its choice (by id).
  void Fill(QComboBox* box, bool input, const std::string& chosenId, const std::string& chosenName);
  void Refill();
  void ShowPreRoll();

  QComboBox* record_ = nullptr;
  QComboBox* play_ = nullptr;
  QSlider* preRoll_ = nullptr;
  QLabel* preRollValue_ = nullptr;
  int watch_ = 0;
};

}  // namespace sheet
