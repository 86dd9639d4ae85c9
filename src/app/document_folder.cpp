#include "app/document_folder.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include "app/document_list.h"
#include "platform/device_paths.h"
#include "platform/file.h"

namespace app {
namespace {

constexpr char16_t kRecordingFolder[] = u"Quillon";

// A name with a backslash could not be told apart from a path in a device
// path; such files and folders are left out rather than shown wrongly.
bool AddressableName(const QString& name) { return !name.contains(QLatin1Char('\\')); }

std::u16string SubfolderPath(const QString& name) {
  return std::u16string(platform::kDocumentsRoot) + u"\\" + name.toStdU16String();
}

std::u16string CardFolderPath(const std::u16string& card) { return u"\\" + card + u"\\" + kRecordingFolder; }

QString HostOf(const std::u16string& devicePath) {
  const std::optional<std::string> host = platform::DevicePaths::ToHost(devicePath);
  return host ? QString::fromStdString(*host) : QString();
}

QStringList Subfolders() {
  QStringList names = QDir(QString::fromStdString(platform::DevicePaths::DocumentsRoot()))
                          .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  names.erase(
      std::remove_if(names.begin(), names.end(), [](const QString& n) { return !AddressableName(n); }),
      names.end());
  std::sort(names.begin(), names.end(),
            [](const QString& a, const QString& b) { return NaturalCompare(a, b) < 0; });
  return names;
}

bool IsAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

std::vector<FolderChoice> FolderChoices() {
  std::vector<FolderChoice> choices;
  choices.push_back({FolderChoice::Kind::All, QString::fromUtf16(kAllFolders)});
  for (const QString& name : Subfolders()) choices.push_back({FolderChoice::Kind::Subfolder, name});
  for (const platform::StorageCard& card : platform::DevicePaths::StorageCards())
    choices.push_back({FolderChoice::Kind::Card, QString::fromStdU16String(card.name)});
  return choices;
}

std::optional<FolderChoice> FindFolderChoice(const QString& name) {
  for (const FolderChoice& choice : FolderChoices())
    if (choice.name.compare(name, Qt::CaseInsensitive) == 0) return choice;
  return std::nullopt;
}

std::vector<std::u16string> ListedFolders(const FolderChoice& choice) {
  std::vector<std::u16string> folders;
  switch (choice.kind) {
    case FolderChoice::Kind::All:
      folders.push_back(platform::kDocumentsRoot);
      for (const QString& name : Subfolders()) folders.push_back(SubfolderPath(name));
      for (const platform::StorageCard& card : platform::DevicePaths::StorageCards())
        folders.push_back(CardFolderPath(card.name));
      break;
    case FolderChoice::Kind::Subfolder:
      folders.push_back(SubfolderPath(choice.name));
      break;
    case FolderChoice::Kind::Card:
      folders.push_back(CardFolderPath(choice.name.toStdU16String()));
      break;
  }
  return folders;
}

std::vector<QString> WatchedHostFolders(const FolderChoice& choice) {
  std::vector<QString> hosts;
  auto add = [&hosts](const QString& host) {
    if (!host.isEmpty() && QFileInfo(host).isDir() &&
        std::find(hosts.begin(), hosts.end(), host) == hosts.end())
      hosts.push_back(host);
  };
  add(QString::fromStdString(platform::DevicePaths::DocumentsRoot()));
  for (const std::u16string& folder : ListedFolders(choice)) {
    const QString host = HostOf(folder);
    if (host.isEmpty()) continue;
    if (QFileInfo(host).isDir())
      add(host);
    else
      add(QFileInfo(host).path());
  }
  return hosts;
}

std::vector<DocumentEntry> ScanDocuments(const std::vector<std::u16string>& folders) {
  static const QString kExtension = QStringLiteral(".wav");
  std::vector<DocumentEntry> entries;
  for (const std::u16string& folder : folders) {
    const QString host = HostOf(folder);
    if (host.isEmpty()) continue;
    for (const QFileInfo& info : QDir(host).entryInfoList(QDir::Files)) {
      const QString fileName = info.fileName();
      if (fileName.size() <= kExtension.size() || !fileName.endsWith(kExtension, Qt::CaseInsensitive) ||
          !AddressableName(fileName))
        continue;
      DocumentEntry entry;
      entry.path = folder + u"\\" + fileName.toStdU16String();
      // A name that is not valid UTF-8 reads back as another name, which no
      // file has: it could be listed but never opened, so it is not listed.
      if (platform::GetFileAttributes(entry.path) == platform::kInvalidAttributes) continue;
      entry.name = fileName.left(fileName.size() - kExtension.size());
      entry.modified = info.lastModified();
      entry.size = info.size();
      entries.push_back(std::move(entry));
    }
  }
  std::stable_sort(entries.begin(), entries.end(), [](const DocumentEntry& a, const DocumentEntry& b) {
    if (const int c = NaturalCompare(a.name, b.name); c != 0) return c < 0;
    if (const int c = a.name.compare(b.name); c != 0) return c < 0;
    return a.path < b.path;
  });
  return entries;
}

std::optional<DocumentEntry> ReadDocumentEntry(const std::u16string& path) {
  const std::optional<std::string> host = platform::DevicePaths::ToHost(path);
  if (!host) return std::nullopt;
  const QFileInfo info(QString::fromStdString(*host));
  if (!info.exists()) return std::nullopt;
  DocumentEntry entry;
  entry.path = path;
  const QString fileName = info.fileName();
  entry.name = fileName.left(fileName.lastIndexOf(QLatin1Char('.')));
  entry.modified = info.lastModified();
  entry.size = info.size();
  return entry;
}

QString FolderLabel(const std::u16string& path) {
  // "\My Documents\Quillon\A.wav" -> "Quillon"; "\Storage Card\Quillon\A.wav" -> "Storage Card".
  const std::u16string documents = std::u16string(platform::kDocumentsRoot) + u"\\";
  const size_t start = path.rfind(documents, 0) == 0 ? documents.size() : 1;
  const size_t end = path.find(u'\\', start);
  return QString::fromStdU16String(path.substr(start, end == std::u16string::npos ? end : end - start));
}

std::vector<QString> DisplayNames(const std::vector<DocumentEntry>& entries) {
  std::vector<QString> names;
  names.reserve(entries.size());
  for (const DocumentEntry& entry : entries) {
    bool repeated = false;
    for (const DocumentEntry& other : entries)
      repeated = repeated || (&other != &entry && other.name.compare(entry.name, Qt::CaseInsensitive) == 0);
    names.push_back(repeated ? QStringLiteral("%1 (%2)").arg(entry.name, FolderLabel(entry.path)) : entry.name);
  }
  return names;
}

int NaturalCompare(const QString& a, const QString& b) {
  qsizetype i = 0;
  qsizetype j = 0;
  int zerosTie = 0;  // decides between equal numbers written with different leading zeros
  while (i < a.size() && j < b.size()) {
    if (IsAsciiDigit(a[i]) && IsAsciiDigit(b[j])) {
      const qsizetype zerosA = i;
      while (i < a.size() && a[i] == QLatin1Char('0')) ++i;
      const qsizetype zerosB = j;
      while (j < b.size() && b[j] == QLatin1Char('0')) ++j;
      const qsizetype leadA = i - zerosA;
      const qsizetype leadB = j - zerosB;
      const qsizetype startA = i;
      while (i < a.size() && IsAsciiDigit(a[i])) ++i;
      const qsizetype startB = j;
      while (j < b.size() && IsAsciiDigit(b[j])) ++j;
      const qsizetype lengthA = i - startA;
      const qsizetype lengthB = j - startB;
      // More significant digits make the larger number; equal lengths compare digit by digit.
      if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
      if (const int c = QStringView(a).mid(startA, lengthA).compare(QStringView(b).mid(startB, lengthB));
          c != 0)
        return c < 0 ? -1 : 1;
      if (zerosTie == 0 && leadA != leadB) zerosTie = leadA < leadB ? -1 : 1;
      continue;
    }
    const QChar ca = a[i].toCaseFolded();
    const QChar cb = b[j].toCaseFolded();
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return zerosTie;
}

QString SizeText(qint64 bytes) {
  constexpr qint64 kKiB = 1024;
  constexpr qint64 kMiB = kKiB * 1024;
  constexpr qint64 kGiB = kMiB * 1024;
  bytes = std::max<qint64>(bytes, 0);
  if (bytes < kKiB) return QStringLiteral("%1 B").arg(bytes);
  if (bytes < kMiB) return QStringLiteral("%1 KB").arg((bytes + kKiB - 1) / kKiB);
  if (bytes < kGiB) return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / kMiB, 0, 'f', 1);
  return QStringLiteral("%1 GB").arg(static_cast<double>(bytes) / kGiB, 0, 'f', 1);
}

QString DateText(const QDateTime& modified, const QDateTime& now) {
  if (!modified.isValid()) return {};
  const QLocale locale;
  const QDateTime local = modified.toLocalTime();
  if (local.date() == now.toLocalTime().date()) {
    // Minutes are enough for a list, and the column stays narrow.
    static const QRegularExpression kSeconds(QStringLiteral("[:.]ss?"));
    return locale.toString(local.time(), locale.timeFormat(QLocale::ShortFormat).remove(kSeconds));
  }
  return locale.toString(local.date(), QLocale::ShortFormat);
}

}  // namespace app
