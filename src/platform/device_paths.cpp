#include "platform/device_paths.h"

#include <QDir>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QString>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "platform/last_error.h"
#include "platform/text.h"

namespace platform {

namespace {

// Roots set by tests (or nullopt for the system default), read from several
// threads.
struct Overrides {
  std::mutex mutex;
  std::optional<std::string> documents;
  std::optional<std::string> config;
  std::optional<std::vector<StorageCard>> cards;
};

Overrides& State() {
  static Overrides state;
  return state;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string HomeFolder() { return QDir::homePath().toStdString(); }

std::string LookUpDocumentsRoot() {
  const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!docs.isEmpty()) return WithoutTrailingSlashes(docs.toStdString());
  return HomeFolder() + "/Documents";
}

// The desktop names the documents folder in user-dirs.dirs, which can change
// while the program runs. Looked up again only when that file, or where it is
// looked for, changed: the recording's list row asks every second.
std::string DefaultDocumentsRoot() {
  const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  const std::string config =
      !xdg.isEmpty() && QDir::isAbsolutePath(xdg) ? xdg.toStdString() : HomeFolder() + "/.config";
  const std::string file = config + "/user-dirs.dirs";
  struct stat info {};
  std::string key = HomeFolder() + '\n' + file;
  if (stat(file.c_str(), &info) == 0) {
    key += '\n' + std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' +
           std::to_string(info.st_size) + ':' + std::to_string(info.st_mtim.tv_sec) + '.' +
           std::to_string(info.st_mtim.tv_nsec);
  }
  static std::mutex mutex;
  static std::string cachedKey;
  static std::string cachedRoot;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!cachedKey.empty() && cachedKey == key) return cachedRoot;
  }
  std::string root = LookUpDocumentsRoot();
  std::lock_guard<std::mutex> lock(mutex);
  cachedKey = std::move(key);
  cachedRoot = root;
  return root;
}

std::string DefaultConfigRoot() {
  const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) {
    return WithoutTrailingSlashes(xdg.toStdString()) + "/quillon";
  }
  return HomeFolder() + "/.config/quillon";
}

// Where desktops mount removable volumes, with how many folders may lie
// between the base and the volume's own folder (the user's name, mostly).
struct MountBase {
  const char* base;
  int minDepth;
  int maxDepth;
};
constexpr MountBase kMountBases[] = {{"/media/", 1, 2}, {"/run/media/", 2, 2}, {"/mnt/", 1, 1}};

bool IsRemovableMount(const QStorageInfo& volume) {
  if (!volume.isValid() || !volume.isReady() || volume.isRoot()) return false;
  const QByteArray type = volume.fileSystemType();
  if (type == "tmpfs" || type == "devtmpfs" || type == "overlay" || type == "squashfs") return false;
  const QString root = volume.rootPath();
  for (const MountBase& mount : kMountBases) {
    const QLatin1String base(mount.base);
    if (!root.startsWith(base)) continue;
    const QStringView rest = QStringView(root).mid(base.size());
    const int depth = static_cast<int>(rest.split(u'/', Qt::SkipEmptyParts).size());
    return depth >= mount.minDepth && depth <= mount.maxDepth;
  }
  return false;
}

// Removable volumes as a desktop mounts them, each named by its mount folder.
std::vector<StorageCard> SystemStorageCards() {
  std::vector<StorageCard> cards;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!IsRemovableMount(volume)) continue;
    const QString name = QDir(volume.rootPath()).dirName();
    if (name.isEmpty()) continue;
    cards.push_back({name.toStdU16String(), WithoutTrailingSlashes(volume.rootPath().toStdString())});
  }
  return cards;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The handheld's file system ignores letter case in names.
bool SameName(std::u16string_view a, std::u16string_view b) {
  return QStringView(a.data(), a.size()).compare(QStringView(b.data(), b.size()), Qt::CaseInsensitive) == 0;
}

enum class RootKind { Documents, Program, Card };

struct Resolved {
  RootKind kind;
  std::string root;  // host folder of the root
  std::string host;  // the whole path on the host
};

std::optional<Resolved> Resolve(const std::u16string& devicePath) {
  if (devicePath.empty() || !IsSeparator(devicePath[0])) return std::nullopt;
  if (devicePath.find(u'\0') != std::u16string::npos) return std::nullopt;

  std::vector<std::u16string_view> parts;
  const std::u16string_view path(devicePath);
  size_t start = 0;
  while (start < path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (parts.empty()) return std::nullopt;

  const std::u16string_view documents = std::u16string_view(kDocumentsRoot).substr(1);
  Resolved resolved;
  size_t rootParts = 1;
  if (SameName(parts[0], documents)) {
    resolved.kind = RootKind::Documents;
    resolved.root = DevicePaths::DocumentsRoot();
  } else if (parts.size() >= 2 && SameName(parts[0], u"Program Files") && SameName(parts[1], u"Quillon")) {
    resolved.kind = RootKind::Program;
    resolved.root = DevicePaths::ConfigRoot();
    rootParts = 2;
  } else {
    bool found = false;
    for (const StorageCard& card : DevicePaths::StorageCards()) {
      if (SameName(parts[0], card.name)) {
        resolved.kind = RootKind::Card;
        resolved.root = card.hostPath;
        found = true;
        break;
      }
    }
    if (!found) return std::nullopt;
  }

  // "." and ".." are resolved here, and never above the root.
  std::vector<std::u16string_view> rest;
  for (size_t i = rootParts; i < parts.size(); ++i) {
    if (parts[i] == u".") continue;
    if (parts[i] == u"..") {
      if (rest.empty()) return std::nullopt;
      rest.pop_back();
      continue;
    }
    rest.push_back(parts[i]);
  }
  resolved.host = resolved.root;
  for (const std::u16string_view part : rest) {
    if (resolved.host.empty() || resolved.host.back() != '/') resolved.host += '/';
    resolved.host += ToUtf8(part);
  }
  return resolved;
}

}  // namespace

void DevicePaths::SetDocumentsRoot(const std::string& hostPath) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().documents = WithoutTrailingSlashes(hostPath);
}

std::string DevicePaths::DocumentsRoot() {
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().documents) return *State().documents;
  }
  return DefaultDocumentsRoot();
}

void DevicePaths::SetConfigRoot(const std::string& hostPath) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().config = WithoutTrailingSlashes(hostPath);
}

std::string DevicePaths::ConfigRoot() {
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().config) return *State().config;
  }
  return DefaultConfigRoot();
}

void DevicePaths::SetStorageCards(std::vector<StorageCard> cards) {
  for (StorageCard& card : cards) card.hostPath = WithoutTrailingSlashes(card.hostPath);
  std::lock_guard<std::mutex> lock(State().mutex);
  State().cards = std::move(cards);
}

bool DevicePaths::IsReservedCardName(std::u16string_view name) {
  for (const std::u16string_view reserved : {std::u16string_view(kDocumentsRoot).substr(1),
                                              std::u16string_view(u"Program Files"), std::u16string_view(u"Main Memory")})
    if (SameName(name, reserved)) return true;
  return false;
}

CardLookup DevicePaths::FindStorageCard(const std::u16string& stored, size_t cutLength) {
  CardLookup lookup;
  if (stored.empty()) return lookup;
  const std::vector<StorageCard> cards = StorageCards();
  for (const StorageCard& card : cards) {
    if (SameName(card.name, stored)) return {CardLookup::Match::Found, card.name};
  }
  if (stored.size() < cutLength) return lookup;
  int matches = 0;
  for (const StorageCard& card : cards) {
    if (card.name.size() > stored.size() && SameName(std::u16string_view(card.name).substr(0, stored.size()), stored)) {
      ++matches;
      lookup.name = card.name;
    }
  }
  if (matches == 1) lookup.match = CardLookup::Match::Found;
  if (matches > 1) {
    lookup.match = CardLookup::Match::Ambiguous;
    lookup.name.clear();
  }
  return lookup;
}

bool DevicePaths::HasTestCards() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().cards.has_value();
}

void DevicePaths::UseSystemStorageCards() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().cards.reset();
}

std::vector<StorageCard> DevicePaths::StorageCards() {
  std::vector<StorageCard> cards;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().cards) cards = *State().cards;
  }
  // Asked afresh each time: cards come and go.
  if (!HasTestCards()) cards = SystemStorageCards();
  // A volume named like one of the program's own places would record there.
  std::erase_if(cards, [](const StorageCard& card) { return IsReservedCardName(card.name); });
  return cards;
}

void DevicePaths::ResetToDefaults() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().documents.reset();
  State().config.reset();
  State().cards.reset();
}

std::optional<std::string> DevicePaths::ToHost(const std::u16string& devicePath) {
  std::optional<Resolved> resolved = Resolve(devicePath);
  if (!resolved) return std::nullopt;
  return std::move(resolved->host);
}

bool DevicePaths::CreateRootFor(const std::u16string& devicePath) {
  const std::optional<Resolved> resolved = Resolve(devicePath);
  if (!resolved) {
    SetLastError(ENOENT);
    return false;
  }
  if (resolved->kind == RootKind::Card) return true;
  std::error_code error;
  std::filesystem::create_directories(resolved->root, error);
  if (error) {
    SetLastError(error.value());
    return false;
  }
  return true;
}

std::u16string DevicePaths::ModuleFileName() { return kModuleFileName; }

}  // namespace platform
