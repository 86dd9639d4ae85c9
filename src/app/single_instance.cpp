#include "app/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>

namespace app {
namespace {

constexpr int kConnectMs = 1000;
constexpr char kRaise[] = "raise\n";

}  // namespace

SingleInstance::SingleInstance(QString name) : name_(std::move(name)) {
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      // Whatever the caller says, it wants this copy in front.
      emit ActivationRequested();
    }
  });
}

QString SingleInstance::DefaultName() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return QDir(runtime).filePath(QStringLiteral("quillon.socket"));
  return QDir(QDir::tempPath()).filePath(QStringLiteral("quillon-%1.socket").arg(getuid()));
}

bool SingleInstance::AskRunningCopy() {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(kConnectMs)) return false;
  socket.write(kRaise);
  socket.waitForBytesWritten(kConnectMs);
  socket.disconnectFromServer();
  return true;
}

bool SingleInstance::Listen() {
  // Only the owner may connect: the socket is per user.
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (server_.listen(name_)) return true;
  // No copy answered, so the socket is a leftover of one that crashed.
  QLocalServer::removeServer(name_);
  return server_.listen(name_);
}

}  // namespace app
