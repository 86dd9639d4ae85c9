#pragma once
// One copy of the program per user. The first copy holds a lock in a folder
// only the user can enter and answers on a local socket beside it; a later
// copy finds the lock held, asks the first to come to the front (passing its
// activation token) and ends. The lock, not the socket, decides who is
// first, so two copies started at the same moment cannot both run, and a
// socket left by a crashed copy is simply replaced.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace app {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Role {
    First,   // this copy runs: it holds the lock and answers later copies
    Second,  // another copy runs and has been asked to come to the front
    Alone,   // no private folder could be had: this copy runs unguarded
  };

  // folder: where the lock and the socket live (PrivateFolder() by default).
  explicit SingleInstance(QString folder = PrivateFolder());
  ~SingleInstance() override;

  // $XDG_RUNTIME_DIR when it is the user's own private folder, else
  // "quillon" in the user's cache folder, else /tmp/quillon-<uid>, each made
  // with mode 0700 when missing and used only when it is a folder (not a
  // link) owned by the user that nobody else may enter. Empty when none is.
  static QString PrivateFolder();
  // Whether path is a folder of the user's that only the user can enter.
  static bool IsPrivateFolder(const QString& path);

  // Decides this copy's role; token is what a second copy passes on.
  Role Claim(const QString& token = {});
  QString SocketPath() const;

 signals:
  // A later copy asked this one to come forward, with its activation token
  // (empty when it had none).
  void ActivationRequested(const QString& token);

 private:
  bool AskFirstCopy(const QString& token);

  QString folder_;
  QLocalServer server_;
  int lockFd_ = -1;
};

}  // namespace app
