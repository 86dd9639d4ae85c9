#pragma once
// The player on the session bus as org.mpris.MediaPlayer2.quillon, the
// interface desktops use for media keys and panel player widgets. Every call
// does what its skinned button or slider does, on the UI thread (QtDBus
// delivers calls to the thread of these objects): Play/Pause/PlayPause are
// the Play button, Stop, Next and Previous theirs, Seek and SetPosition the
// position slider, Volume the volume slider; none acts while a box or the
// sheet waits for an answer, as the program's keys do not. What the player shows is read
// from the view, and changes are announced as the panel widgets expect.

#include <string>

#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

namespace app {

class CController;
class MainWindow;

class MprisService : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.quillon";
  static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

  MprisService(MainWindow* window, CController* controller);
  ~MprisService() override;
  // False when there is no session bus or the name is taken.
  bool Registered() const { return registered_; }

  // What the properties say now.
  QString PlaybackStatus() const;
  QString LoopStatus() const;
  QVariantMap Metadata() const;
  double Volume() const;
  qint64 PositionMicroseconds() const;
  bool CanGoNext() const;
  bool CanGoPrevious() const;
  bool CanPlay() const;
  bool CanPause() const;
  bool CanSeek() const;

  void Raise();
  void PlayPause();
  void Play();
  void Pause();
  void Stop();
  void Next();
  void Previous();
  void Seek(qint64 offset);
  void SetPosition(const QDBusObjectPath& track, qint64 position);
  void SetVolume(double volume);

 private:
  bool Live() const;
  // Live, and no box or sheet waits for an answer.
  bool Controllable() const;
  // The button's tap, when it could be tapped.
  bool Tap(int id);
  qint64 LengthMicroseconds() const;
  QDBusObjectPath TrackId() const;
  void AnnounceChanges();

  MainWindow* window_;
  mutable CController* controller_;
  bool registered_ = false;
  QVariantMap announced_;
  // The track id and address of the file last asked about.
  void Remember(const std::u16string& file) const;
  mutable std::u16string trackFile_;
  mutable QDBusObjectPath track_;
  mutable QString url_;
};

}  // namespace app
