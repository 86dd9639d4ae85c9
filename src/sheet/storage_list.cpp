#include "sheet/storage_list.h"

#include <algorithm>
#include <limits>
#include <mutex>

#include "platform/device_paths.h"
#include "platform/file.h"
#include "view/time_text.h"

namespace sheet {

namespace {

std::mutex g_queryMutex;
FreeSpaceQuery g_query;

}  // namespace

QStringList StorageNames() {
  QStringList names{QString::fromUtf16(kMainMemory)};
  for (const platform::StorageCard& card : platform::DevicePaths::StorageCards()) {
    names.append(QString::fromStdU16String(card.name));
  }
  std::stable_sort(names.begin(), names.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  return names;
}

void SetFreeSpaceQuery(FreeSpaceQuery query) {
  std::lock_guard<std::mutex> lock(g_queryMutex);
  g_query = std::move(query);
}

uint64_t StorageFreeBytes(const QString& storage) {
  // A card name is resolved from the root folder.
  const std::u16string path = storage == QStringView(kMainMemory) ? std::u16string(platform::kDocumentsRoot)
                                                                  : u"\\" + storage.toStdU16String();
  FreeSpaceQuery query;
  {
    std::lock_guard<std::mutex> lock(g_queryMutex);
    query = g_query;
  }
  uint64_t freeBytes = 0;
  const bool ok = query ? query(path, &freeBytes) : platform::GetDiskFreeSpace(path, &freeBytes);
  return ok ? freeBytes : 0;
}

QString RecordingTimeText(uint64_t freeBytes, uint32_t byteRate) {
  if (byteRate == 0) return QString();
  const uint64_t seconds = freeBytes / byteRate;
  if (seconds <= std::numeric_limits<uint32_t>::max()) {
    return QString::fromStdU16String(view::FormatTime(static_cast<uint32_t>(seconds)));
  }
  // Beyond 136 years the shared formatter's 32-bit count would wrap.
  const uint64_t rest = seconds % 3600;
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
      .arg(rest / 60, 2, 10, QLatin1Char('0'))
      .arg(rest % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace sheet
