#include "sheet/general_page.h"

#include <algorithm>

#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include "audio/format_presets.h"
#include "diag/show_error.h"
#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "settings/settings_store.h"
#include "sheet/format_table.h"
#include "sheet/input_formats.h"
#include "sheet/page_layout.h"
#include "sheet/storage_list.h"

namespace sheet {

namespace {

constexpr char16_t kWarningText[] =
    u"Warning: It is possible that such a high level of bit rate can cause incorrect recording to the "
    u"srorage card!";

QLabel* AddLabel(QWidget* page, const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
  auto* label = new QLabel(text, page);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment | Qt::AlignVCenter);
  return label;
}

// Every text a format field can show, so that its label is wide enough for all.
QStringList FieldTexts(const char16_t* FormatRow::*field) {
  QStringList texts;
  for (int position = 1; position <= audio::kPresetCount; ++position) {
    texts.append(QString::fromUtf16((*FindFormatRow(FormatIdAtPosition(position))).*field));
  }
  return texts;
}

}  // namespace

GeneralPage::GeneralPage(settings::SettingsStore* store, QWidget* parent)
    : SettingsPage(QStringLiteral("General"), store, parent) {
  setFont(PageFont());
  BuildControls();
  if (!InitFlashCB()) diag::ShowError(this, u"InitFlashCB(): failed.", platform::GetLastError());
  // A record read from a damaged file may lack the terminator.
  const char16_t* name = Record().Storage;
  const QString stored =
      QString::fromUtf16(name, std::find(name, name + settings::kStorageChars, u'\0') - name);
  // The first entry equal to the stored name, letter case included; none
  // when the card is not mounted. A card whose name is longer than the
  // record keeps is found by the part kept, when only one card has it.
  int match = -1;
  for (int i = 0; i < storage_->count() && match < 0; ++i) {
    if (storage_->itemText(i) == stored) match = i;
  }
  if (match < 0 && stored.size() >= settings::kStorageChars - 1) {
    const platform::CardLookup card = platform::DevicePaths::FindStorageCard(
        stored.toStdU16String(), static_cast<size_t>(settings::kStorageChars - 1));
    if (card.match == platform::CardLookup::Match::Found)
      match = storage_->findText(QString::fromStdU16String(card.name));
  }
  storage_->setCurrentIndex(match);
  if (!InitFormatsSld()) diag::ShowError(this, u"InitFormatsSld(): failed.", platform::GetLastError());
  connect(slider_, &QSlider::valueChanged, this, &GeneralPage::OnSliderMoved);
  connect(storage_, &QComboBox::currentIndexChanged, this, &GeneralPage::OnStorageChanged);
}

void GeneralPage::BuildControls() {
  PlaceLabel(AddLabel(this, QStringLiteral("Save new recording to:")), 7, 16, 76, 8);
  storage_ = new QComboBox(this);
  // The template's height includes the drop-down list; closed, the box is one line.
  Place(storage_, 7, 27, 125, 12);
  PlaceLabel(AddLabel(this, QStringLiteral("Select recording format:")), 7, 42, 125, 8);
  PlaceLabel(AddLabel(this, QStringLiteral("Long Time")), 7, 52, 52, 8);
  PlaceLabel(AddLabel(this, QStringLiteral("High Fidelity")), 92, 52, 40, 8);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setTickPosition(QSlider::TicksAbove);
  slider_->setTickInterval(1);
  slider_->setSingleStep(1);
  slider_->setPageStep(1);
  slider_->setFocusPolicy(Qt::StrongFocus);
  Place(slider_, 7, 61, 125, 21);
  PlaceLabel(AddLabel(this, QStringLiteral("Format:")), 7, 82, 26, 8);
  formatName_ = AddLabel(this, QStringLiteral("fmt"));
  PlaceLabel(formatName_, 37, 82, 17, 8, FieldTexts(&FormatRow::name));
  PlaceLabel(AddLabel(this, QStringLiteral("Bit Rate:")), 63, 82, 29, 8);
  bitRate_ = AddLabel(this, QStringLiteral("bit"), Qt::AlignRight);
  PlaceLabel(bitRate_, 96, 81, 36, 8, FieldTexts(&FormatRow::bitRate));
  PlaceLabel(AddLabel(this, QStringLiteral("Sample Rate:")), 48, 91, 44, 8);
  sampleRate_ = AddLabel(this, QStringLiteral("smprate"), Qt::AlignRight);
  PlaceLabel(sampleRate_, 104, 91, 28, 8, FieldTexts(&FormatRow::sampleRate));
  PlaceLabel(AddLabel(this, QStringLiteral("Total recording time:")), 25, 101, 67, 8);
  recordingTime_ = AddLabel(this, QStringLiteral("trt"), Qt::AlignRight);
  Place(recordingTime_, 88, 101, 44, 8);

  warning_ = new QLabel(QString::fromUtf16(kWarningText), this);
  warning_->setTextFormat(Qt::PlainText);
  warning_->setAlignment(Qt::AlignCenter);
  warning_->setWordWrap(true);
  warning_->setFrameShape(QFrame::Box);
  warning_->setLineWidth(1);
  QPalette palette = warning_->palette();
  palette.setColor(QPalette::Window, QColor(255, 0, 0));
  palette.setColor(QPalette::WindowText, Qt::black);
  warning_->setPalette(palette);
  warning_->setAutoFillBackground(true);
  Place(warning_, 7, 111, 125, 26);
}

bool GeneralPage::InitFlashCB() {
  storage_->clear();
  storage_->addItems(StorageNames());
  return true;
}

bool GeneralPage::InitFormatsSld() {
  if (slider_ == nullptr) return false;
  // A count below 7 cuts the high-fidelity end; none still leaves position 1.
  slider_->setRange(1, std::max(1, CountInputFormats()));
  const int32_t formatId = Record().FormatId;
  slider_->setValue(PositionOfFormat(formatId));  // 0 (unknown) holds it at 1
  warning_->setVisible(!ShowFormatInfo(formatId));
  return true;
}

bool GeneralPage::ShowFormatInfo(int32_t formatId) {
  const std::optional<FormatRow> row = FindFormatRow(formatId);
  if (!row) return true;
  formatName_->setText(QString::fromUtf16(row->name));
  bitRate_->setText(QString::fromUtf16(row->bitRate));
  sampleRate_->setText(QString::fromUtf16(row->sampleRate));
  ShowRecordingTime(row->byteRate);
  return !row->warning;
}

void GeneralPage::ShowRecordingTime(uint32_t byteRate) {
  recordingTime_->setText(RecordingTimeText(StorageFreeBytes(storage_->currentText()), byteRate));
}

void GeneralPage::OnSliderMoved() {
  warning_->setVisible(!ShowFormatInfo(FormatIdAtPosition(slider_->value())));
}

void GeneralPage::OnStorageChanged() {
  // Recomputes the time for the new store; the warning stays as it is.
  ShowFormatInfo(FormatIdAtPosition(slider_->value()));
}

void GeneralPage::Apply() {
  settings::SettingsRecord& record = Record();
  record.FormatId = FormatIdAtPosition(slider_->value());
  if (storage_->currentIndex() < 0) return;
  std::u16string name = storage_->currentText().toStdU16String();
  size_t length = std::min<size_t>(name.size(), settings::kStorageChars - 1);
  // Never keep half of a surrogate pair.
  if (length > 0 && length < name.size() && QChar::isHighSurrogate(name[length - 1])) --length;
  std::fill(std::begin(record.Storage), std::end(record.Storage), u'\0');
  std::copy_n(name.begin(), length, record.Storage);
}

QList<QWidget*> GeneralPage::TabStops() const { return {storage_, slider_}; }

}  // namespace sheet
