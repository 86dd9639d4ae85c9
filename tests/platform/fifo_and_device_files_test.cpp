// What lies under a file's name need not be a file: FIFOs, folders and
// links, and stores grown far past what they hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/registry.h"
#include "support/fifo_files.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testsupport::FinishesWithoutWaitingOn;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

class FifoAndDeviceFilesTest : public ::testing::Test {
 protected:
  std::string Docs(const std::string& name) const { return roots_.Documents() + "/" + name; }
  std::string Store() const { return roots_.Config() + "/registry.txt"; }
  testsupport::TempRoots roots_;
};

// Each kind of thing under a name, opened for reading as a file: only a
// regular file (or a link to one) opens, and none of them makes the open wait.
TEST_F(FifoAndDeviceFilesTest, OnlyRegularFilesOpenAndAFifoNeverMakesTheOpenWait) {
  ASSERT_TRUE(WriteHostFile(Docs("file.wav"), "RIFF"));
  ASSERT_TRUE(testsupport::MakeFifo(Docs("fifo.wav")));
  fs::create_directory(Docs("folder.wav"));
  fs::create_symlink(Docs("file.wav"), Docs("link.wav"));
  fs::create_symlink(Docs("fifo.wav"), Docs("fifo-link.wav"));
  const struct {
    const char* name;
    bool opens;
    int error;
  } cases[] = {
      {"file.wav", true, 0},
      {"link.wav", true, 0},
      {"fifo.wav", false, kNotRegularFileError},
      {"fifo-link.wav", false, kNotRegularFileError},
      {"folder.wav", false, EISDIR},
  };
  for (const auto& c : cases) {
    for (const FileAccess access : {FileAccess::Read, FileAccess::ReadWrite}) {
      if (access == FileAccess::ReadWrite && std::string(c.name).find("link") != std::string::npos) continue;
      bool opened = false;
      int error = 0;
      uint32_t got = 0;
      char data[8]{};
      ASSERT_TRUE(FinishesWithoutWaitingOn(Docs("fifo.wav"), [&] {
        File file;
        SetLastError(0);
        opened = file.OpenHost(Docs(c.name), access);
        error = GetLastError();
        // Reading what opened does not wait either: it is a regular file.
        if (opened) file.Read(data, sizeof data, &got);
      })) << c.name << " made the open wait";
      EXPECT_EQ(opened, c.opens) << c.name;
      EXPECT_EQ(error, c.error) << c.name;
      if (opened) {
        EXPECT_EQ(std::string(data, got), "RIFF") << c.name;
      }
    }
  }
}

// Nothing is written through a link, and a link that leads nowhere holds
// its name like any file.
TEST_F(FifoAndDeviceFilesTest, NothingIsWrittenThroughALinkAndADanglingLinkHoldsItsName) {
  const std::string outside = roots_.Base() + "/outside.txt";
  ASSERT_TRUE(WriteHostFile(outside, "keep"));
  fs::create_symlink(outside, Docs("to-file"));
  fs::create_symlink(roots_.Base() + "/nowhere.txt", Docs("dangling"));
  for (const char* name : {"to-file", "dangling"}) {
    File file;
    SetLastError(0);
    EXPECT_FALSE(file.OpenHost(Docs(name), FileAccess::Write)) << name;
    EXPECT_EQ(GetLastError(), ELOOP) << name;
    EXPECT_FALSE(file.OpenHost(Docs(name), FileAccess::CreateNew)) << name;
    EXPECT_EQ(GetLastError(), EEXIST) << name;
    EXPECT_TRUE(NameTaken(u"\\My Documents\\" + std::u16string(name, name + std::char_traits<char>::length(name))))
        << name;
  }
  EXPECT_EQ(ReadHostFile(outside), "keep");
  EXPECT_FALSE(fs::exists(roots_.Base() + "/nowhere.txt"));
  EXPECT_FALSE(NameTaken(u"\\My Documents\\free.wav"));
  // A regular file is still replaced in place.
  ASSERT_TRUE(WriteHostFile(Docs("plain"), "old"));
  File plain;
  ASSERT_TRUE(plain.OpenHost(Docs("plain"), FileAccess::Write));
  int64_t size = -1;
  ASSERT_TRUE(plain.Size(&size));
  EXPECT_EQ(size, 0);
}

// A FIFO as the store: the value reads as missing, writes are refused, and
// the FIFO is left where it is.
TEST_F(FifoAndDeviceFilesTest, AStoreThatIsAFifoReadsAsEmptyAndIsKept) {
  ASSERT_TRUE(testsupport::MakeFifo(Store()));
  ASSERT_TRUE(FinishesWithoutWaitingOn(Store(), [] {
    EXPECT_EQ(Registry::ReadDefault(u"Key"), std::nullopt);
    EXPECT_FALSE(Registry::CreateKey(u"Key"));
    EXPECT_EQ(GetLastError(), kNotRegularFileError);
    EXPECT_FALSE(Registry::WriteDefault(u"Key", u"value"));
  }));
  EXPECT_TRUE(fs::is_fifo(Store()));
}

// A store grown far past what it can hold is read only as far as its limit:
// entries within it count, the rest is damage, and the next write leaves a
// store of at most the limit with the entry written in it.
TEST_F(FifoAndDeviceFilesTest, AHugeStoreIsReadOnlyUpToItsLimitAndShrinksAtTheNextWrite) {
  ASSERT_TRUE(WriteHostFile(Store(), "First=1\n"));
  {
    // 300 MB of nothing (a sparse file), then an entry nobody may read.
    fs::resize_file(Store(), 300ull << 20);
    FILE* f = std::fopen(Store().c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fputs("\nLast=2\n", f);
    std::fclose(f);
  }
  EXPECT_EQ(Registry::ReadDefault(u"First"), u"1");
  EXPECT_EQ(Registry::ReadDefault(u"Last"), std::nullopt);
  ASSERT_TRUE(Registry::WriteDefault(u"New", u"3"));
  EXPECT_LE(fs::file_size(Store()), Registry::kMaxStoreBytes);
  EXPECT_EQ(Registry::ReadDefault(u"First"), u"1");
  EXPECT_EQ(Registry::ReadDefault(u"New"), u"3");

  // A store full of entries keeps the one just written, and the first ones.
  std::string full;
  for (int i = 0; full.size() < Registry::kMaxStoreBytes; ++i) full += "Key" + std::to_string(i) + "=x\n";
  ASSERT_TRUE(WriteHostFile(Store(), full));
  ASSERT_TRUE(Registry::WriteDefault(u"Latest", u"4"));
  EXPECT_LE(fs::file_size(Store()), Registry::kMaxStoreBytes);
  EXPECT_EQ(Registry::ReadDefault(u"Latest"), u"4");
  EXPECT_EQ(Registry::ReadDefault(u"Key0"), u"x");
}

// Longer than a key or a value can be: skipped when read, refused when written.
TEST_F(FifoAndDeviceFilesTest, EntriesLongerThanTheyCanBeAreSkippedAndRefused) {
  const std::string longValue(Registry::kMaxValueChars + 1, 'v');
  const std::string longKey(Registry::kMaxKeyChars + 1, 'k');
  ASSERT_TRUE(WriteHostFile(Store(), "Long=" + longValue + "\n" + longKey + "=1\nFits=" +
                                         longValue.substr(1) + "\n"));
  EXPECT_EQ(Registry::ReadDefault(u"Long"), std::nullopt);
  EXPECT_EQ(Registry::ReadDefault(u"Fits"), std::u16string(Registry::kMaxValueChars, u'v'));
  EXPECT_FALSE(Registry::WriteDefault(u"Other", std::u16string(Registry::kMaxValueChars + 1, u'v')));
  EXPECT_EQ(GetLastError(), ENAMETOOLONG);
  EXPECT_FALSE(Registry::CreateKey(std::u16string(Registry::kMaxKeyChars + 1, u'k')));
}

}  // namespace
}  // namespace platform
