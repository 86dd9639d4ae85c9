#include "app/mpris.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>
#include <QUrl>

#include "app/change_look.h"
#include "app/controller.h"
#include "app/main_window.h"
#include "app/mpris_adaptors.h"
#include "platform/device_paths.h"
#include "view/child_modal.h"
#include "view/control_ids.h"
#include "view/main_view.h"
#include "view/skin_view_widget.h"

namespace app {
namespace {

// How often, at most, the panel widgets are told what changed.
constexpr int kAnnounceMs = 250;

using Area = view::MainView::TextArea;

// "hh:mm:ss" or "(hh:mm:ss)" as the view shows them, in microseconds; 0 for
// anything else. Read four times a second, so no regular expression.
qint64 ParseTime(const std::u16string& text) {
  size_t at = text.size() > 0 && text[0] == u'(' ? 1 : 0;
  qint64 seconds = 0;
  for (int field = 0; field < 3; ++field) {
    const size_t start = at;
    qint64 value = 0;
    while (at < text.size() && text[at] >= u'0' && text[at] <= u'9' && at - start < 9) value = value * 10 + (text[at++] - u'0');
    if (at == start || (field > 0 && (at - start != 2 || value > 59))) return 0;
    seconds = seconds * 60 + value;
    if (field < 2 && (at >= text.size() || text[at++] != u':')) return 0;
  }
  return seconds * 1000000;
}

}  // namespace

MprisService::MprisService(MainWindow* window, CController* controller)
    : window_(window), controller_(controller) {
  new MprisRootAdaptor(this);
  new MprisPlayerAdaptor(this);
  QDBusConnection bus = QDBusConnection::sessionBus();
  registered_ = bus.isConnected() && bus.registerObject(QString::fromLatin1(kObjectPath), this) &&
                bus.registerService(QString::fromLatin1(kServiceName));
  if (!registered_) return;
  // Everything announced is read from the view, except the play mode, which
  // only a command changes: both say when to look.
  auto* look = new ChangeLook(kAnnounceMs, [this] { AnnounceChanges(); }, this);
  const QPointer<ChangeLook> watch(look);
  const auto changed = [watch] {
    if (watch) watch->Changed();
  };
  if (controller_ != nullptr) {
    controller_->View.OnShown(changed);
    controller_->CommandDone = changed;
  }
  AnnounceChanges();
}

MprisService::~MprisService() {
  if (!registered_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(QString::fromLatin1(kServiceName));
  bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

bool MprisService::Live() const {
  // The controller goes when the window closes, before this object does.
  controller_ = window_->Controller();
  return controller_ != nullptr;
}

bool MprisService::Controllable() const {
  // A box or the sheet waits for an answer, often from inside a transport
  // operation: as with the program's own keys, nothing acts under it.
  return Live() && view::ActiveModalWidget() == nullptr;
}

bool MprisService::Tap(int id) {
  if (!Controllable()) return false;
  view::MainView& view = controller_->View;
  if (view.Buttons[id - view::kFirstButton].Enabled == 0) return false;
  window_->Skin()->TapControl(id);
  return true;
}

QString MprisService::PlaybackStatus() const {
  if (!Live()) return QStringLiteral("Stopped");
  if (controller_->Transport.AudioIO.Direction != audio::WaveDirection::Output) return QStringLiteral("Stopped");
  const int face = controller_->View.Buttons[view::kPlayButton - view::kFirstButton].Face;
  return face == view::FacePaused ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QString MprisService::LoopStatus() const {
  if (!Live()) return QStringLiteral("None");
  switch (controller_->Settings.Record.PlayMode) {
    case 2: return QStringLiteral("Playlist");
    case 4: return QStringLiteral("Track");
    default: return QStringLiteral("None");
  }
}

qint64 MprisService::LengthMicroseconds() const {
  if (!Live()) return 0;
  return ParseTime(controller_->View.ShownText(Area::Length));
}

qint64 MprisService::PositionMicroseconds() const {
  if (PlaybackStatus() == QLatin1String("Stopped")) return 0;
  return ParseTime(controller_->View.ShownText(Area::Time));
}

QDBusObjectPath MprisService::TrackId() const {
  if (!Live()) return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
  Remember(controller_->Transport.FilePath);
  return track_;
}

void MprisService::Remember(const std::u16string& file) const {
  // Worked out once per file: asked four times a second.
  if (file == trackFile_ && !track_.path().isEmpty()) return;
  trackFile_ = file;
  url_.clear();
  const QByteArray path = QString::fromStdU16String(file).toUtf8();
  if (path.isEmpty()) {
    track_ = QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return;
  }
  const QByteArray hash = QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex();
  track_ = QDBusObjectPath(QStringLiteral("/org/quillon/track/") + QString::fromLatin1(hash));
  if (const auto host = platform::DevicePaths::ToHost(file))
    url_ = QUrl::fromLocalFile(QString::fromStdString(*host)).toString();
}

QVariantMap MprisService::Metadata() const {
  if (!Live()) return {};
  QVariantMap metadata;
  metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId()));
  metadata.insert(QStringLiteral("xesam:title"), QString::fromStdU16String(controller_->View.ShownText(Area::FileName)));
  if (const qint64 length = LengthMicroseconds(); length > 0)
    metadata.insert(QStringLiteral("mpris:length"), length);
  // TrackId() above remembered the file and its address.
  if (!url_.isEmpty()) metadata.insert(QStringLiteral("xesam:url"), url_);
  return metadata;
}

double MprisService::Volume() const {
  return Live() ? controller_->View.SliderPercent(view::kVolumeSlider) / 100.0 : 0.0;
}

bool MprisService::CanGoNext() const {
  if (!Live()) return false;
  return controller_->View.Buttons[view::kNextButton - view::kFirstButton].Enabled != 0;
}

bool MprisService::CanGoPrevious() const {
  if (!Live()) return false;
  return controller_->View.Buttons[view::kPreviousButton - view::kFirstButton].Enabled != 0;
}

bool MprisService::CanPlay() const {
  if (!Live()) return false;
  return controller_->View.Buttons[view::kPlayButton - view::kFirstButton].Enabled != 0;
}

bool MprisService::CanPause() const { return PlaybackStatus() == QLatin1String("Playing"); }

bool MprisService::CanSeek() const {
  if (!Live()) return false;
  return PlaybackStatus() != QLatin1String("Stopped") &&
         controller_->View.Sliders[view::kPositionSlider - view::kFirstSlider].Enabled != 0;
}

void MprisService::Raise() { window_->BringToFront(); }

void MprisService::PlayPause() { Tap(view::kPlayButton); }

void MprisService::Play() {
  if (PlaybackStatus() != QLatin1String("Playing")) Tap(view::kPlayButton);
}

void MprisService::Pause() {
  if (PlaybackStatus() == QLatin1String("Playing")) Tap(view::kPlayButton);
}

void MprisService::Stop() { Tap(view::kStopButton); }

void MprisService::Next() { Tap(view::kNextButton); }

void MprisService::Previous() { Tap(view::kPreviousButton); }

void MprisService::Seek(qint64 offset) { SetPosition(TrackId(), PositionMicroseconds() + offset); }

void MprisService::SetPosition(const QDBusObjectPath& track, qint64 position) {
  const qint64 length = LengthMicroseconds();
  // A position for another track, or out of this one, is ignored.
  if (!Controllable() || !CanSeek() || track != TrackId() || length <= 0 || position < 0 || position > length) return;
  window_->Skin()->SetSliderPercent(view::kPositionSlider, static_cast<int>(position * 100 / length));
}

void MprisService::SetVolume(double volume) {
  if (Controllable()) window_->Skin()->SetSliderPercent(view::kVolumeSlider, static_cast<int>(std::clamp(volume, 0.0, 1.0) * 100 + 0.5));
}

void MprisService::AnnounceChanges() {
  if (!Live()) return;
  const QVariantMap now{
      {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
      {QStringLiteral("LoopStatus"), LoopStatus()},
      {QStringLiteral("Metadata"), Metadata()},
      {QStringLiteral("Volume"), Volume()},
      {QStringLiteral("CanGoNext"), CanGoNext()},
      {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
      {QStringLiteral("CanPlay"), CanPlay()},
      {QStringLiteral("CanPause"), CanPause()},
      {QStringLiteral("CanSeek"), CanSeek()},
  };
  QVariantMap changed;
  for (auto it = now.begin(); it != now.end(); ++it) {
    if (announced_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
  }
  announced_ = now;
  if (changed.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

}  // namespace app
