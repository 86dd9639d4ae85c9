#include "sheet/audio_page.h"

#include <QComboBox>
#include <QLabel>
#include <QMetaObject>
#include <QSlider>

#include "audio/device_choice.h"
#include "platform/wave_backend.h"
#include "settings/settings_store.h"
#include "sheet/page_layout.h"

namespace sheet {

namespace {

constexpr char kDefault[] = "Default";
constexpr char kNotConnected[] = " (not connected)";
// Item data: the device id, and its description without the mark.
constexpr int kIdRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;

QLabel* AddLabel(QWidget* page, const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
  auto* label = new QLabel(text, page);
  label->setAlignment(alignment | Qt::AlignVCenter);
  return label;
}

std::string ItemText(const QComboBox* box, int role) {
  return box->currentIndex() < 0 ? std::string() : box->currentData(role).toString().toStdString();
}

}  // namespace

AudioPage::AudioPage(settings::SettingsStore* store, QWidget* parent)
    : SettingsPage(QStringLiteral("Audio"), store, parent) {
  setFont(PageFont());
  PlaceLabel(AddLabel(this, QStringLiteral("Record from:")), 7, 16, 76, 8);
  record_ = new QComboBox(this);
  Place(record_, 7, 27, 125, 12);
  PlaceLabel(AddLabel(this, QStringLiteral("Play to:")), 7, 44, 76, 8);
  play_ = new QComboBox(this);
  Place(play_, 7, 55, 125, 12);
  PlaceLabel(AddLabel(this, QStringLiteral("Keep before speech:")), 7, 72, 76, 8);
  preRollValue_ = AddLabel(this, QString(), Qt::AlignRight);
  PlaceLabel(preRollValue_, 92, 72, 40, 8, {QStringLiteral("1000 ms")});
  preRoll_ = new QSlider(Qt::Horizontal, this);
  preRoll_->setRange(0, static_cast<int>(audio::kMaxPreRollMs / audio::kPreRollStepMs));
  preRoll_->setTickPosition(QSlider::TicksAbove);
  preRoll_->setTickInterval(1);
  preRoll_->setSingleStep(1);
  preRoll_->setPageStep(1);
  preRoll_->setFocusPolicy(Qt::StrongFocus);
  Place(preRoll_, 7, 81, 125, 21);

  const settings::PreferencesStore& preferences = Store()->Preferences;
  const audio::DeviceChoice recordFrom = audio::ReadDeviceChoice(preferences, true);
  const audio::DeviceChoice playTo = audio::ReadDeviceChoice(preferences, false);
  Fill(record_, true, recordFrom.id, recordFrom.description);
  Fill(play_, false, playTo.id, playTo.description);
  preRoll_->setValue(static_cast<int>(audio::ReadPreRollMs(preferences) / audio::kPreRollStepMs));
  ShowPreRoll();
  connect(preRoll_, &QSlider::valueChanged, this, &AudioPage::ShowPreRoll);

  // Devices come and go while the page is there: the backend says so on a
  // thread of its own, the lists change on the page's.
  if (auto backend = platform::CurrentWaveBackend()) {
    watch_ = backend->WatchEndpoints(
        [this] { QMetaObject::invokeMethod(this, &AudioPage::Refill, Qt::QueuedConnection); });
  }
}

AudioPage::~AudioPage() {
  if (watch_ != 0) {
    if (auto backend = platform::CurrentWaveBackend()) backend->UnwatchEndpoints(watch_);
  }
}

void AudioPage::Fill(QComboBox* box, bool input, const std::string& chosenId, const std::string& chosenName) {
  const QSignalBlocker quiet(box);
  box->clear();
  box->addItem(QString::fromLatin1(kDefault), QString());
  int chosen = 0;
  std::vector<platform::WaveEndpoint> endpoints;
  if (auto backend = platform::CurrentWaveBackend()) endpoints = backend->Endpoints(input);
  for (const platform::WaveEndpoint& e : endpoints) {
    const QString name = QString::fromStdString(e.description);
    box->addItem(name, QString::fromStdString(e.id));
    box->setItemData(box->count() - 1, name, kNameRole);
    if (e.id == chosenId) chosen = box->count() - 1;
  }
  if (!chosenId.empty() && chosen == 0) {
    // Not there now, and still the user's choice: never a silent switch.
    const QString name = QString::fromStdString(chosenName.empty() ? chosenId : chosenName);
    box->addItem(name + QString::fromLatin1(kNotConnected), QString::fromStdString(chosenId));
    box->setItemData(box->count() - 1, name, kNameRole);
    chosen = box->count() - 1;
  }
  box->setCurrentIndex(chosen);
}

void AudioPage::Refill() {
  Fill(record_, true, ItemText(record_, kIdRole), ItemText(record_, kNameRole));
  Fill(play_, false, ItemText(play_, kIdRole), ItemText(play_, kNameRole));
}

void AudioPage::ShowPreRoll() {
  preRollValue_->setText(QStringLiteral("%1 ms").arg(preRoll_->value() * static_cast<int>(audio::kPreRollStepMs)));
}

void AudioPage::Apply() {
  settings::PreferencesStore& preferences = Store()->Preferences;
  audio::WriteDeviceChoice(preferences, true, {ItemText(record_, kIdRole), ItemText(record_, kNameRole)});
  audio::WriteDeviceChoice(preferences, false, {ItemText(play_, kIdRole), ItemText(play_, kNameRole)});
  audio::WritePreRollMs(preferences, static_cast<uint32_t>(preRoll_->value()) * audio::kPreRollStepMs);
}

QList<QWidget*> AudioPage::TabStops() const { return {record_, play_, preRoll_}; }

}  // namespace sheet
