#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace app {
namespace {

constexpr int kConnectMs = 1000;
// A first copy that holds the lock may still be on its way to listening.
constexpr int kAnswerWaitMs = 5000;
// sockaddr_un holds 108 bytes with its terminator.
constexpr int kMaxSocketPath = 100;
constexpr char kRaise[] = "raise";

bool MakePrivateFolder(const QString& path) {
  // The folders above it (~/.cache on a fresh home) as the desktop makes them.
  QDir().mkpath(QFileInfo(path).path());
  const QByteArray native = QFile::encodeName(path);
  if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) return false;
  return SingleInstance::IsPrivateFolder(path);
}

}  // namespace

SingleInstance::SingleInstance(QString folder) : folder_(std::move(folder)) {
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) return;
        const QString line = QString::fromUtf8(socket->readLine(4096)).trimmed();
        if (!line.startsWith(QLatin1String(kRaise))) return;
        emit ActivationRequested(line.mid(static_cast<int>(sizeof kRaise) - 1).trimmed());
      });
    }
  });
}

SingleInstance::~SingleInstance() {
  server_.close();
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool SingleInstance::IsPrivateFolder(const QString& path) {
  if (path.isEmpty()) return false;
  struct stat info;
  if (::lstat(QFile::encodeName(path).constData(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

QString SingleInstance::PrivateFolder() {
  QStringList candidates;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) candidates << QDir::cleanPath(runtime);
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (!cache.isEmpty()) candidates << QDir(cache).filePath(QStringLiteral("quillon"));
  candidates << QDir(QDir::tempPath()).filePath(QStringLiteral("quillon-%1").arg(::geteuid()));
  for (int i = 0; i < candidates.size(); ++i) {
    const QString& folder = candidates[i];
    if (QFile::encodeName(folder).size() + 20 > kMaxSocketPath) continue;
    // The runtime folder is the desktop's: it is used, never made.
    if (i == 0 && !runtime.isEmpty() ? IsPrivateFolder(folder) : MakePrivateFolder(folder)) return folder;
  }
  return {};
}

QString SingleInstance::SocketPath() const { return QDir(folder_).filePath(QStringLiteral("quillon.socket")); }

SingleInstance::Role SingleInstance::Claim(const QString& token) {
  if (!IsPrivateFolder(folder_)) return Role::Alone;
  const QByteArray lock = QFile::encodeName(QDir(folder_).filePath(QStringLiteral("quillon.lock")));
  lockFd_ = ::open(lock.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lockFd_ < 0) return Role::Alone;
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(lockFd_);
    lockFd_ = -1;
    AskFirstCopy(token);
    return Role::Second;
  }
  // The lock is ours: any socket there is a crashed copy's.
  QLocalServer::removeServer(SocketPath());
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(SocketPath());
  return Role::First;
}

bool SingleInstance::AskFirstCopy(const QString& token) {
  const QByteArray socketPath = QFile::encodeName(SocketPath());
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < kAnswerWaitMs) {
    // Only a socket of the user's own is talked to.
    struct stat info;
    if (::lstat(socketPath.constData(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid()) {
      QLocalSocket socket;
      socket.connectToServer(SocketPath());
      if (socket.waitForConnected(kConnectMs)) {
        socket.write(QByteArray(kRaise) + (token.isEmpty() ? QByteArray() : " " + token.toUtf8()) + "\n");
        socket.waitForBytesWritten(kConnectMs);
        socket.disconnectFromServer();
        return true;
      }
    }
    QThread::msleep(50);
  }
  return false;
}

}  // namespace app
