#pragma once
// The allocation tracker: every heap object of the program is created and
// released through it, and ReportLeaks() lists what is still alive at exit.
// Thread-safe: the audio thread allocates and frees its buffers through it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

namespace diag {

// Allocates size bytes, recording file and line; null on failure, never throws.
// A zero-byte request still yields a unique block (recorded as 0 bytes).
void* TrackedNew(size_t size, const char16_t* file, int line) noexcept;
// A plain allocation: recorded as crtdbg, line 37.
void* TrackedNew(size_t size) noexcept;
// Releases a block; a pointer the tracker does not know is warned about and
// still freed; null does nothing.
void TrackedDelete(void* block) noexcept;

uint32_t CurrentBytes();
uint32_t PeakBytes();
// Writes the leak report to out (the debug output when null).
void ReportLeaks(std::FILE* out = nullptr);
// Installs ReportLeaks among the exit handlers; the programs call it first
// thing in main (test binaries don't, so they stay quiet). Later calls do nothing.
void InstallLeakReportAtExit();
// Where the report and the warnings go (stderr by default); tests redirect it.
// Null restores stderr.
void SetDebugOutput(std::FILE* out);
// Forgets every record and zeroes the counters (tests only).
void ResetTrackerForTests();
// Test hooks for the "out of memory" paths. The countdown makes the n-th
// TrackedNew from now fail (1: the next one); 0 switches it off. The
// bookkeeping countdown does the same for the tracker's own records.
void SetAllocationFailureCountdown(int n);
void SetBookkeepingFailureCountdown(int n);

// Base for the program's own classes: their new/delete go through the tracker.
// Allocation failure yields null, as callers test.
struct Tracked {
  static void* operator new(size_t size) noexcept { return TrackedNew(size); }
  static void* operator new[](size_t size) noexcept { return TrackedNew(size); }
  static void* operator new(size_t size, const char16_t* file, int line) noexcept {
    return TrackedNew(size, file, line);
  }
  static void operator delete(void* p) noexcept { TrackedDelete(p); }
  static void operator delete[](void* p) noexcept { TrackedDelete(p); }
  static void operator delete(void* p, const char16_t*, int) noexcept { TrackedDelete(p); }
};

}  // namespace diag
