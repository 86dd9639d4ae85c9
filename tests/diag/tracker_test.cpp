#include "diag/tracker.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const std::string kRule = "*************************************************************\n";
const std::string kBanner = "\n\n" + kRule + "Memory Leaks Detector!\n" + kRule + "\n";
const std::string kForeignWarning = "crtdbg(131) : Warning: deletes memory pointer not allocated with new!\n";

std::string PeakLine(unsigned long peak) {
  return "\n - Maximum free store memory allocated at a time: " + std::to_string(peak) + " bytes.\n\n" + kRule +
         "\n";
}

std::string BlockLine(const char* file, int line, const void* block, unsigned size) {
  char text[200];
  std::snprintf(text, sizeof text, "\t%s(%i) : normal block at 0x%08" PRIXPTR ", %u bytes long\n", file, line,
                reinterpret_cast<uintptr_t>(block), size);
  return text;
}

// Captures what the tracker writes to its debug output.
class TrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::ResetTrackerForTests();
    output_ = open_memstream(&buffer_, &length_);
    ASSERT_NE(output_, nullptr);
    diag::SetDebugOutput(output_);
  }
  void TearDown() override {
    diag::SetDebugOutput(nullptr);
    std::fclose(output_);
    std::free(buffer_);
    diag::ResetTrackerForTests();
  }
  std::string Output() {
    std::fflush(output_);
    return std::string(buffer_, length_);
  }

  std::FILE* output_ = nullptr;
  char* buffer_ = nullptr;
  size_t length_ = 0;
};

// A pointer the tracker never handed out is warned about and still freed
// (AddressSanitizer reports a leak if it were kept).
TEST_F(TrackerTest, ReportWithoutLeaksShowsThePeakNotTheSumAfterAForeignPointer) {
  void* a = diag::TrackedNew(30);
  void* b = diag::TrackedNew(50);
  diag::TrackedDelete(a);
  void* c = diag::TrackedNew(40);
  diag::TrackedDelete(std::malloc(16));
  diag::TrackedDelete(b);
  diag::TrackedDelete(c);
  EXPECT_EQ(diag::CurrentBytes(), 0u);
  diag::ReportLeaks();
  EXPECT_EQ(Output(), kForeignWarning + kBanner + " - No memory leaks detected!\n" + PeakLine(90));
}

// Oldest first; at most 50 bytes of each, unprintable ones as '.'.
TEST_F(TrackerTest, ReportDumpsLeakedBlocksOldestFirst) {
  auto* small = static_cast<char*>(diag::TrackedNew(99, u"main", 85));
  auto* large = static_cast<char*>(diag::TrackedNew(120));
  diag::TrackedDelete(diag::TrackedNew(10, u"main", 90));
  std::string smallBytes(94, 'A'), largeBytes(120, 'b');
  smallBytes += std::string("\0\n\x1b\x7f\xe9", 5);
  for (int i = 0; i < 120; i += 7) largeBytes[i] = 'c';
  std::memcpy(small, smallBytes.data(), 99);
  std::memcpy(large, largeBytes.data(), 120);
  diag::ReportLeaks();
  EXPECT_EQ(Output(), kBanner + " - Detected memory leaks!\n\n - Dumping objects ->\n\n" +
                          BlockLine("main", 85, small, 99) + "\tBlock data dump <" + smallBytes.substr(0, 94) +
                          ".....>\n\n" + BlockLine("crtdbg", 37, large, 120) + "\tBlock data dump <" +
                          largeBytes.substr(0, 50) + ">\n\n" + PeakLine(229));
  diag::TrackedDelete(small);
  diag::TrackedDelete(large);
}

}  // namespace
