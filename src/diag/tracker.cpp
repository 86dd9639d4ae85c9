#include "diag/tracker.h"

#include <atomic>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/text.h"

namespace diag {

namespace {

// The tracker's own name and lines, as the report and the warning show them.
constexpr char16_t kSourceName[] = u"crtdbg";
constexpr char kSourceNameUtf8[] = "crtdbg";
constexpr int kPlainLine = 37;
constexpr int kWarningLine = 131;

struct FileEntry {
  char16_t* Name;
  FileEntry* Next;
};

struct BlockRecord {
  FileEntry* File;
  int32_t Line;
  uint32_t Size;
  void* Block;
  BlockRecord* Next;
};

// Plain pointers and a constexpr-constructed mutex: usable from any static
// initializer, whatever the order of initialization.
std::mutex gLock;
BlockRecord* gBlocks = nullptr;
BlockRecord* gBlocksTail = nullptr;
FileEntry* gFiles = nullptr;
FileEntry* gFilesTail = nullptr;
uint32_t gCurrentBytes = 0;
uint32_t gPeakBytes = 0;
std::FILE* gOutput = nullptr;  // null: stderr
int gFailCountdown = 0;
int gBookkeepingFailCountdown = 0;

std::FILE* Output() { return gOutput != nullptr ? gOutput : stderr; }

// True when an armed countdown reaches this call.
bool CountdownHits(int& countdown) { return countdown > 0 && --countdown == 0; }

void* BookkeepingAlloc(size_t size) {
  if (CountdownHits(gBookkeepingFailCountdown)) return nullptr;
  return std::malloc(size);
}

size_t NameLength(const char16_t* name) { return std::char_traits<char16_t>::length(name); }

// The entry for name, appended at the tail when first seen; null when its
// bookkeeping can't be allocated.
FileEntry* FindOrAddFile(const char16_t* name) {
  const size_t length = NameLength(name);
  for (FileEntry* entry = gFiles; entry != nullptr; entry = entry->Next) {
    if (NameLength(entry->Name) == length &&
        std::char_traits<char16_t>::compare(entry->Name, name, length) == 0) {
      return entry;
    }
  }
  auto* copy = static_cast<char16_t*>(BookkeepingAlloc((length + 1) * sizeof(char16_t)));
  if (copy == nullptr) return nullptr;
  auto* entry = static_cast<FileEntry*>(BookkeepingAlloc(sizeof(FileEntry)));
  if (entry == nullptr) {
    std::free(copy);
    return nullptr;
  }
  std::memcpy(copy, name, (length + 1) * sizeof(char16_t));
  entry->Name = copy;
  entry->Next = nullptr;
  if (gFilesTail != nullptr) {
    gFilesTail->Next = entry;
  } else {
    gFiles = entry;
  }
  gFilesTail = entry;
  return entry;
}

// Frees the names and entries. Leaked blocks keep their records but lose
// their file, so a later report never reads a freed name.
void FreeFileList() {
  for (FileEntry* entry = gFiles; entry != nullptr;) {
    FileEntry* next = entry->Next;
    std::free(entry->Name);
    std::free(entry);
    entry = next;
  }
  gFiles = gFilesTail = nullptr;
  for (BlockRecord* record = gBlocks; record != nullptr; record = record->Next) {
    record->File = nullptr;
  }
}

}  // namespace

void* TrackedNew(size_t size, const char16_t* file, int line) noexcept {
  if (file == nullptr) file = u"";
  std::lock_guard<std::mutex> guard(gLock);
  if (CountdownHits(gFailCountdown)) return nullptr;
  // Sizes are recorded in 32 bits.
  if (size > std::numeric_limits<uint32_t>::max()) return nullptr;
  // malloc(0) may answer null; a zero-byte object still needs its own address.
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) return nullptr;

  auto* record = static_cast<BlockRecord*>(BookkeepingAlloc(sizeof(BlockRecord)));
  if (record == nullptr) return block;  // handed out untracked
  FileEntry* entry = FindOrAddFile(file);
  if (entry == nullptr) {
    std::free(record);
    return block;
  }
  record->File = entry;
  record->Line = line;
  record->Size = static_cast<uint32_t>(size);
  record->Block = block;
  record->Next = nullptr;
  if (gBlocksTail != nullptr) {
    gBlocksTail->Next = record;
  } else {
    gBlocks = record;
  }
  gBlocksTail = record;

  // Counted only once tracked, so that CurrentBytes always equals the sum of
  // the records and an untracked block can't leave it inflated for ever.
  gCurrentBytes += record->Size;
  if (gCurrentBytes > gPeakBytes) gPeakBytes = gCurrentBytes;
  return block;
}

void* TrackedNew(size_t size) noexcept { return TrackedNew(size, kSourceName, kPlainLine); }

void TrackedDelete(void* block) noexcept {
  if (block == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(gLock);
    BlockRecord* previous = nullptr;
    BlockRecord* record = gBlocks;
    while (record != nullptr && record->Block != block) {
      previous = record;
      record = record->Next;
    }
    if (record != nullptr) {
      if (previous != nullptr) {
        previous->Next = record->Next;
      } else {
        gBlocks = record->Next;
      }
      if (gBlocksTail == record) gBlocksTail = previous;
      gCurrentBytes -= record->Size;
      std::free(record);
    } else {
      std::fprintf(Output(), "%s(%i) : Warning: deletes memory pointer not allocated with new!\n",
                   kSourceNameUtf8, kWarningLine);
      std::fflush(Output());
    }
  }
  std::free(block);
}

uint32_t CurrentBytes() {
  std::lock_guard<std::mutex> guard(gLock);
  return gCurrentBytes;
}

uint32_t PeakBytes() {
  std::lock_guard<std::mutex> guard(gLock);
  return gPeakBytes;
}

void ReportLeaks(std::FILE* out) {
  std::lock_guard<std::mutex> guard(gLock);
  std::FILE* o = out != nullptr ? out : Output();
  std::fputs(
      "\n\n*************************************************************\n"
      "Memory Leaks Detector!\n"
      "*************************************************************\n\n",
      o);
  if (gBlocks == nullptr) {
    std::fputs(" - No memory leaks detected!\n", o);
  } else {
    std::fputs(" - Detected memory leaks!\n\n - Dumping objects ->\n\n", o);
    for (const BlockRecord* record = gBlocks; record != nullptr; record = record->Next) {
      const std::string name =
          record->File != nullptr ? platform::ToUtf8(record->File->Name) : std::string();
      std::fprintf(o, "\t%s(%i) : normal block at 0x%08" PRIXPTR ", %u bytes long\n\tBlock data dump <",
                   name.c_str(), static_cast<int>(record->Line),
                   reinterpret_cast<uintptr_t>(record->Block), record->Size);
      const uint32_t shown = record->Size < 100 ? record->Size : 50;
      // Control and non-ASCII bytes would garble the terminal: shown as '.'.
      const auto* bytes = static_cast<const unsigned char*>(record->Block);
      for (uint32_t i = 0; i < shown; ++i) std::fputc(bytes[i] >= 0x20 && bytes[i] < 0x7F ? bytes[i] : '.', o);
      std::fputs(">\n\n", o);
    }
  }
  FreeFileList();
  std::fprintf(o,
               "\n - Maximum free store memory allocated at a time: %lu bytes.\n\n"
               "*************************************************************\n\n",
               static_cast<unsigned long>(gPeakBytes));
  std::fflush(o);
}

void InstallLeakReportAtExit() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  std::atexit([] { ReportLeaks(); });
}

void SetDebugOutput(std::FILE* out) {
  std::lock_guard<std::mutex> guard(gLock);
  gOutput = out;
}

void ResetTrackerForTests() {
  std::lock_guard<std::mutex> guard(gLock);
  for (BlockRecord* record = gBlocks; record != nullptr;) {
    BlockRecord* next = record->Next;
    std::free(record);
    record = next;
  }
  gBlocks = gBlocksTail = nullptr;
  FreeFileList();
  gCurrentBytes = gPeakBytes = 0;
  gFailCountdown = gBookkeepingFailCountdown = 0;
}

void SetAllocationFailureCountdown(int n) {
  std::lock_guard<std::mutex> guard(gLock);
  gFailCountdown = n > 0 ? n : 0;
}

void SetBookkeepingFailureCountdown(int n) {
  std::lock_guard<std::mutex> guard(gLock);
  gBookkeepingFailCountdown = n > 0 ? n : 0;
}

}  // namespace diag
