#include "app/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace app {
namespace {

constexpr char kHelpFile[] = "Quillon.htm";
constexpr char kMainContents[] = "Main_Contents";

QString Existing(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

}  // namespace

QString HelpFilePath() {
  const QString file = QString::fromLatin1(kHelpFile);
  // Installed: <prefix>/bin/quillon next to <prefix>/share/quillon/help.
  if (QCoreApplication::instance() != nullptr) {
    const QString installed =
        Existing(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quillon/help/") + file);
    if (!installed.isEmpty()) return installed;
  }
#ifdef QUILLON_SOURCE_RESOURCES
  // Run from a build: the page in the source tree.
  return Existing(QStringLiteral(QUILLON_SOURCE_RESOURCES "/help/") + file);
#else
  return {};
#endif
}

QUrl HelpUrl() {
  const QString path = HelpFilePath();
  if (path.isEmpty()) return {};
  QUrl url = QUrl::fromLocalFile(path);
  url.setFragment(QString::fromLatin1(kMainContents));
  return url;
}

void ShowHelp() {
  const QUrl url = HelpUrl();
  if (url.isValid()) QDesktopServices::openUrl(url);
}

}  // namespace app
