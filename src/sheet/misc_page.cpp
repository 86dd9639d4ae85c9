#include "sheet/misc_page.h"

#include <atomic>

#include <QCheckBox>
#include <QGroupBox>

#include "settings/settings_store.h"
#include "sheet/page_layout.h"
#include "view/default_recorder.h"
#include "view/hardware_buttons.h"

namespace sheet {

MiscPage::MiscPage(settings::SettingsStore* store, QWidget* parent)
    : SettingsPage(QStringLiteral("Miscellaneous"), store, parent) {
  setFont(PageFont());
  // The group is a frame behind the boxes, which sit on the page itself at
  // their template positions.
  auto* amplify = new QGroupBox(QStringLiteral("Amplify"), this);
  // The title sits on the frame's top line, clear of the first box below it.
  amplify->setStyleSheet(
      QStringLiteral("QGroupBox { border: 1px solid #a0a0a0; border-radius: 2px; margin-top: 6px; }"
                     "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px;"
                     " padding: 0 2px; background: white; }"));
  Place(amplify, 7, 16, 122, 36);
  amplifyInput_ = new QCheckBox(QStringLiteral("Input sound stream"), this);
  Place(amplifyInput_, 15, 26, 79, 10);
  amplifyOutput_ = new QCheckBox(QStringLiteral("Output sound stream"), this);
  Place(amplifyOutput_, 15, 40, 84, 10);
  ledBlink_ = new QCheckBox(QStringLiteral("LED blinks while recording"), this);
  Place(ledBlink_, 7, 97, 97, 10);
  defaultRecorder_ = new QCheckBox(QStringLiteral("Set this program as default\nrecorder"), this);
  Place(defaultRecorder_, 7, 112, 122, 18);

  // Read only: the entry is written when the page is applied, not by opening
  // the sheet. Ticked exactly when it names this program, letter case included.
  defaultRecorder_->setChecked(view::IsDefaultRecorder());
  const settings::SettingsRecord& record = Record();
  amplifyInput_->setChecked(settings::ReadAmplifyInput(record) != 0);
  amplifyOutput_->setChecked(settings::ReadAmplifyOutput(record) != 0);
  ledBlink_->setChecked(record.LedBlink != 0);
}

void MiscPage::Apply() {
  const bool on = defaultRecorder_->isChecked();
  view::GrabApplicationKeys(parentWidget());
  // Written whether or not the box changed: unticked restores the platform's
  // own recorder.
  view::SetDefaultRecorder(on);
  settings::SettingsRecord& record = Record();
  // The audio thread reads the amplify flags on every buffer and the monitor
  // thread the LED flag.
  settings::WriteAmplifyInput(record, amplifyInput_->isChecked() ? 1 : 0);
  settings::WriteAmplifyOutput(record, amplifyOutput_->isChecked() ? 1 : 0);
  std::atomic_ref<int32_t>(record.LedBlink).store(ledBlink_->isChecked() ? 1 : 0, std::memory_order_relaxed);
}

QList<QWidget*> MiscPage::TabStops() const {
  return {amplifyInput_, amplifyOutput_, ledBlink_, defaultRecorder_};
}

}  // namespace sheet
