#pragma once
// The General page: where new recordings are saved and in which format, with
// the format's name, bit rate and sample rate, how long the chosen store can
// still record in it, and a warning for the three highest rates. The record
// changes only when the page is applied.

#include "sheet/settings_page.h"

class QComboBox;
class QLabel;
class QSlider;

namespace sheet {

class GeneralPage : public SettingsPage {
  Q_OBJECT

 public:
  GeneralPage(settings::SettingsStore* store, QWidget* parent);

  // FormatId from the slider; Storage from the storage box, at most 31
  // characters. With no storage chosen (a card no longer mounted) the stored
  // Storage stays as it was.
  void Apply() override;
  QList<QWidget*> TabStops() const override;

  QComboBox* StorageBox() const { return storage_; }
  QSlider* FormatSlider() const { return slider_; }
  QLabel* FormatName() const { return formatName_; }
  QLabel* BitRate() const { return bitRate_; }
  QLabel* SampleRate() const { return sampleRate_; }
  QLabel* RecordingTime() const { return recordingTime_; }
  QLabel* Warning() const { return warning_; }

 private:
  void BuildControls();
  bool InitFlashCB();
  bool InitFormatsSld();
  // Sets the format texts and the recording time; false when the warning is
  // to be shown. A format not in the table changes nothing.
  bool ShowFormatInfo(int32_t formatId);
  void ShowRecordingTime(uint32_t byteRate);
  void OnSliderMoved();
  void OnStorageChanged();

  QComboBox* storage_ = nullptr;
  QSlider* slider_ = nullptr;
  QLabel* formatName_ = nullptr;
  QLabel* bitRate_ = nullptr;
  QLabel* sampleRate_ = nullptr;
  QLabel* recordingTime_ = nullptr;
  QLabel* warning_ = nullptr;
};

}  // namespace sheet
