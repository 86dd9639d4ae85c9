#include "diag/tracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kBanner =
    "\n\n*************************************************************\n"
    "Memory Leaks Detector!\n"
    "*************************************************************\n\n";

const std::string kForeignWarning = "crtdbg(131) : Warning: deletes memory pointer not allocated with new!\n";

std::string PeakLine(unsigned long peak) {
  return "\n - Maximum free store memory allocated at a time: " + std::to_string(peak) +
         " bytes.\n\n*************************************************************\n\n";
}

std::string BlockLine(const char* file, int line, const void* block, unsigned size) {
  char text[200];
  std::snprintf(text, sizeof text, "\t%s(%i) : normal block at 0x%08" PRIXPTR ", %u bytes long\n",
                file, line, reinterpret_cast<uintptr_t>(block), size);
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

TEST_F(TrackerTest, ReportWithoutLeaksShowsThePeakNotTheSum) {
  void* zero1 = diag::TrackedNew(0);
  void* zero2 = diag::TrackedNew(0);
  ASSERT_TRUE(zero1 && zero2);
  EXPECT_NE(zero1, zero2);
  EXPECT_EQ(diag::CurrentBytes(), 0u);
  diag::TrackedDelete(zero1);
  diag::TrackedDelete(zero2);
  void* a = diag::TrackedNew(30);
  void* b = diag::TrackedNew(50);
  EXPECT_EQ(diag::CurrentBytes(), 80u);
  diag::TrackedDelete(a);
  void* c = diag::TrackedNew(40);
  EXPECT_EQ(diag::CurrentBytes(), 90u);
  diag::TrackedDelete(b);
  diag::TrackedDelete(c);
  EXPECT_EQ(diag::CurrentBytes(), 0u);
  EXPECT_EQ(diag::PeakBytes(), 90u);

  diag::ReportLeaks();
  EXPECT_EQ(Output(), kBanner + " - No memory leaks detected!\n" + PeakLine(90));
}

TEST_F(TrackerTest, ReportDumpsLeakedBlocksOldestFirst) {
  auto* small = static_cast<char*>(diag::TrackedNew(99, u"main", 85));
  auto* large = static_cast<char*>(diag::TrackedNew(120));
  void* freed = diag::TrackedNew(10, u"main", 90);
  ASSERT_TRUE(small && large && freed);
  diag::TrackedDelete(freed);
  std::string smallBytes, largeBytes;
  for (int i = 0; i < 99; ++i) smallBytes += static_cast<char>('A' + i % 26);
  smallBytes[98] = static_cast<char>(0xE9);  // a byte above 127 is written as it is
  for (int i = 0; i < 120; ++i) largeBytes += static_cast<char>('a' + i % 26);
  std::memcpy(small, smallBytes.data(), 99);
  std::memcpy(large, largeBytes.data(), 120);

  diag::ReportLeaks();
  const std::string expected =
      kBanner + " - Detected memory leaks!\n\n - Dumping objects ->\n\n" +
      BlockLine("main", 85, small, 99) + "\tBlock data dump <" + smallBytes + ">\n\n" +
      BlockLine("crtdbg", 37, large, 120) + "\tBlock data dump <" + largeBytes.substr(0, 50) +
      ">\n\n" + PeakLine(229);
  EXPECT_EQ(Output(), expected);
  // A second report does not read the file names the first one freed.
  diag::ReportLeaks();
  EXPECT_NE(Output().substr(expected.size()).find(BlockLine("", 85, small, 99)), std::string::npos);

  diag::TrackedDelete(small);
  diag::TrackedDelete(large);
  EXPECT_EQ(diag::CurrentBytes(), 0u);
}

TEST_F(TrackerTest, ForeignOrUntrackedPointerIsWarnedAboutAndStillFreed) {
  // Equal names share one entry, however they are passed: the second
  // allocation needs only its record, so the second bookkeeping failure hits
  // the third allocation's record, which is then handed out untracked.
  std::u16string name1 = u"stream", name2 = u"stream";
  void* a = diag::TrackedNew(10, name1.c_str(), 1);
  diag::SetBookkeepingFailureCountdown(2);
  void* b = diag::TrackedNew(20, name2.c_str(), 2);
  void* untracked = diag::TrackedNew(40, u"other", 3);
  ASSERT_NE(untracked, nullptr);
  EXPECT_EQ(diag::CurrentBytes(), 30u);
  std::memset(untracked, 0, 40);  // usable all the same
  diag::TrackedDelete(untracked);
  EXPECT_EQ(Output(), kForeignWarning);
  diag::TrackedDelete(std::malloc(16));  // AddressSanitizer reports a leak if it were kept
  EXPECT_EQ(Output(), kForeignWarning + kForeignWarning);
  EXPECT_EQ(diag::CurrentBytes(), 30u);

  diag::TrackedDelete(nullptr);
  diag::TrackedDelete(a);
  diag::TrackedDelete(b);
  EXPECT_EQ(diag::CurrentBytes(), 0u);
  EXPECT_EQ(Output(), kForeignWarning + kForeignWarning);  // nothing more was written
}

struct Probe : diag::Tracked {
  static inline int constructed = 0;
  Probe() { ++constructed; }
  ~Probe() { --constructed; }
  char payload[24] = {};
};

TEST_F(TrackerTest, FailedAllocationYieldsNullWithoutConstructing) {
  diag::SetAllocationFailureCountdown(2);
  void* first = diag::TrackedNew(16);
  EXPECT_EQ(diag::TrackedNew(16), nullptr);
  void* third = diag::TrackedNew(16);
  ASSERT_TRUE(first && third);
  EXPECT_EQ(diag::CurrentBytes(), 32u);
  diag::TrackedDelete(first);
  diag::TrackedDelete(third);

  Probe::constructed = 0;
  diag::SetAllocationFailureCountdown(1);
  EXPECT_EQ(new Probe, nullptr);
  EXPECT_EQ(Probe::constructed, 0);
  EXPECT_EQ(diag::CurrentBytes(), 0u);

  Probe* made = new (u"main", 85) Probe;
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(Probe::constructed, 1);
  EXPECT_EQ(diag::CurrentBytes(), sizeof(Probe));
  diag::ReportLeaks();
  EXPECT_NE(Output().find(BlockLine("main", 85, made, sizeof(Probe))), std::string::npos);
  delete made;
  EXPECT_EQ(Probe::constructed, 0);
  EXPECT_EQ(diag::CurrentBytes(), 0u);
}

TEST_F(TrackerTest, ConcurrentUseKeepsTheCountsConsistent) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  constexpr int kKept = 3;  // like the three audio buffers in flight
  std::vector<std::vector<void*>> kept(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &kept] {
      for (int i = 0; i < kRounds; ++i) {
        void* block = diag::TrackedNew(64 + (i % 7), u"wave_io", t);
        diag::TrackedDelete(block);
      }
      for (int k = 0; k < kKept; ++k) kept[t].push_back(diag::TrackedNew(640, u"wave_io", t));
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(diag::CurrentBytes(), uint32_t{kThreads * kKept * 640});
  EXPECT_GE(diag::PeakBytes(), diag::CurrentBytes());
  EXPECT_LE(diag::PeakBytes(), uint32_t{kThreads * (kKept * 640 + 70)});
  for (auto& blocks : kept) std::for_each(blocks.begin(), blocks.end(), diag::TrackedDelete);
  EXPECT_EQ(diag::CurrentBytes(), 0u);
  EXPECT_EQ(Output(), "");
}

TEST(TrackerDeathTest, InstalledReportIsWrittenAtExit) {
  EXPECT_EXIT(
      {
        diag::ResetTrackerForTests();
        diag::SetDebugOutput(nullptr);
        diag::InstallLeakReportAtExit();
        diag::InstallLeakReportAtExit();
        diag::TrackedNew(5, u"main", 85);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "Memory Leaks Detector!.*main\\(85\\) : normal block at 0x[0-9A-F]{8,}, 5 bytes long");
}

}  // namespace
