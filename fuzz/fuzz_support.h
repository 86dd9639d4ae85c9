#pragma once
// What the fuzz targets share: the program's folder for the whole run (a
// private folder, in memory when the machine has /dev/shm, removed at exit)
// and the check that stops the run with what did not hold.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/device_paths.h"

namespace fuzzsupport {

inline std::string& FolderSlot() {
  static std::string folder;
  return folder;
}

inline void RemoveFolder() { std::filesystem::remove_all(FolderSlot()); }

// The configuration root, made on the first call: NAME names its folder.
inline const std::string& ConfigFolder(const char* name) {
  std::string& folder = FolderSlot();
  if (folder.empty()) {
    std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") + name + ".XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    std::atexit(RemoveFolder);
    platform::DevicePaths::SetConfigRoot(folder);
  }
  return folder;
}

inline void Check(const char* target, bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::abort();
}

}  // namespace fuzzsupport
