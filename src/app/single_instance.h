#pragma once
// One copy of the program per user: the first copy answers on a local
// socket; a later copy asks it to come to the front and ends.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace app {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // name: the socket; by default quillon.socket in $XDG_RUNTIME_DIR, else
  // quillon-<uid>.socket in the temporary folder.
  explicit SingleInstance(QString name = DefaultName());
  static QString DefaultName();

  // True when another copy answers: it has been asked to come to the front.
  bool AskRunningCopy();
  // Starts answering later copies (a socket left by a crashed copy is
  // replaced); false when the socket cannot be made.
  bool Listen();

 signals:
  void ActivationRequested();

 private:
  QString name_;
  QLocalServer server_;
};

}  // namespace app
