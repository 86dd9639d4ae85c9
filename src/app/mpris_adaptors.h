#pragma once
// The two D-Bus interfaces of the MPRIS player, as QtDBus adaptors of the
// service object: each forwards to MprisService.

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

#include "app/mpris.h"

namespace app {

class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}
  bool CanQuit() const { return false; }
  bool CanRaise() const { return true; }
  bool HasTrackList() const { return false; }
  QString Identity() const { return QStringLiteral("Quillon"); }
  QString DesktopEntry() const { return QStringLiteral("quillon"); }
  QStringList SupportedUriSchemes() const { return {}; }
  QStringList SupportedMimeTypes() const { return {}; }

 public slots:
  void Raise() { service_->Raise(); }
  void Quit() {}

 private:
  MprisService* service_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
  Q_PROPERTY(double Rate READ Rate WRITE SetRate)
  Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(double MinimumRate READ Rate)
  Q_PROPERTY(double MaximumRate READ Rate)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ CanPlay)
  Q_PROPERTY(bool CanPause READ CanPause)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {}
  QString PlaybackStatus() const { return service_->PlaybackStatus(); }
  QString LoopStatus() const { return service_->LoopStatus(); }
  // The play mode is switched with its own tool button; a client's wish is not taken.
  void SetLoopStatus(const QString&) {}
  double Rate() const { return 1.0; }
  void SetRate(double) {}
  bool Shuffle() const { return false; }
  void SetShuffle(bool) {}
  QVariantMap Metadata() const { return service_->Metadata(); }
  double Volume() const { return service_->Volume(); }
  void SetVolume(double volume) { service_->SetVolume(volume); }
  qlonglong Position() const { return service_->PositionMicroseconds(); }
  bool CanGoNext() const { return service_->CanGoNext(); }
  bool CanGoPrevious() const { return service_->CanGoPrevious(); }
  bool CanPlay() const { return service_->CanPlay(); }
  bool CanPause() const { return service_->CanPause(); }
  bool CanSeek() const { return service_->CanSeek(); }
  bool CanControl() const { return true; }

 public slots:
  void PlayPause() { service_->PlayPause(); }
  void Play() { service_->Play(); }
  void Pause() { service_->Pause(); }
  void Stop() { service_->Stop(); }
  void Next() { service_->Next(); }
  void Previous() { service_->Previous(); }
  void Seek(qlonglong offset) { service_->Seek(offset); }
  void SetPosition(const QDBusObjectPath& track, qlonglong position) { service_->SetPosition(track, position); }
  void OpenUri(const QString&) {}

 signals:
  void Seeked(qlonglong position);

 private:
  MprisService* service_;
};

}  // namespace app
