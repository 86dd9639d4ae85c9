#include "desktop/page_cache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace bench {

CacheUse Residency(const std::vector<std::string>& files) {
  CacheUse use;
  const long page = sysconf(_SC_PAGESIZE);
  for (const std::string& path : files) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > 0) {
      const size_t size = static_cast<size_t>(info.st_size);
      // Mapping reads nothing; mincore only looks.
      void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
      if (map != MAP_FAILED) {
        std::vector<unsigned char> pages((size + page - 1) / page);
        if (mincore(map, size, pages.data()) == 0) {
          use.bytes += size;
          uint64_t resident = 0;
          for (unsigned char p : pages) resident += (p & 1) ? static_cast<uint64_t>(page) : 0;
          use.resident += std::min<uint64_t>(resident, size);  // the last page is partly the file's
        }
        munmap(map, size);
      }
    }
    close(fd);
  }
  return use;
}

void Evict(const std::vector<std::string>& files) {
  for (const std::string& path : files) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
  }
}

}  // namespace bench
