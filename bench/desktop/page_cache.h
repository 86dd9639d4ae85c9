#pragma once
// A cold start without emptying the whole machine's cache: the files one
// program reads are dropped from the page cache, each on its own.

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct CacheUse {
  uint64_t bytes = 0;     // the files' sizes, added up
  uint64_t resident = 0;  // how much of that is in memory
};

// How much of the files is in the page cache now.
CacheUse Residency(const std::vector<std::string>& files);

// Asks the kernel to drop the files' cached pages. Pages that a running
// process maps (the C library, for one) stay.
void Evict(const std::vector<std::string>& files);

}  // namespace bench
