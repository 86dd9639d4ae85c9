#include "view/skin_images.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>

#include "platform/last_error.h"

// The images are compiled into the library; a static library needs its
// resources registered by a function the program reaches.
static void InitSkinResources() { Q_INIT_RESOURCE(skin_images); }

namespace view {
namespace {

QMutex g_folderMutex;
QString g_folder;

const QString& DefaultFolder() {
  static const QString folder = [] {
    InitSkinResources();
    return QStringLiteral(":/skin");
  }();
  return folder;
}

}  // namespace

void SetSkinImageFolder(const QString& folder) {
  QMutexLocker lock(&g_folderMutex);
  g_folder = folder;
}

QString SkinImageFolder() {
  QMutexLocker lock(&g_folderMutex);
  return g_folder.isEmpty() ? DefaultFolder() : g_folder;
}

QString FindSkinImage(int id) {
  if (id <= 0) return {};
  // A few dozen files: scanning on each load keeps the lookup free of caches
  // that would go stale when a test swaps the folder.
  const QDir dir(SkinImageFolder());
  const QString prefix = QString::number(id) + QLatin1Char('-');
  const QStringList names =
      dir.entryList({prefix + QStringLiteral("*.png")}, QDir::Files, QDir::Name);
  if (names.isEmpty()) return {};
  return dir.filePath(names.first());
}

bool LoadSkinImage(int id, QImage* out, QImage::Format format) {
  *out = QImage();
  const QString path = FindSkinImage(id);
  if (path.isEmpty()) {
    platform::SetLastError(ENOENT);
    return false;
  }
  QImage image(path);
  if (image.isNull()) {
    platform::SetLastError(EILSEQ);  // there, but not a readable image
    return false;
  }
  *out = image.convertToFormat(format);
  return !out->isNull();
}

}  // namespace view
