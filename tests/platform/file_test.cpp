#include "platform/file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <numeric>
#include <vector>

#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::TempRoots;
using testsupport::WriteHostFile;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLastError(0); }
  TempRoots roots_;
};

TEST_F(FileTest, WritesSeeksAndReadsBack) {
  std::vector<unsigned char> data(100);
  std::iota(data.begin(), data.end(), 0);
  File file;
  ASSERT_TRUE(file.Open(u"\\My Documents\\a.bin", FileAccess::Write));
  uint32_t done = 0;
  ASSERT_TRUE(file.Write(data.data(), 100, &done));
  EXPECT_EQ(done, 100u);
  int64_t size = 0;
  ASSERT_TRUE(file.Size(&size));
  EXPECT_EQ(size, 100);

  // Rewrite a field in the middle, as a header's sizes are rewritten.
  int64_t pos = -1;
  ASSERT_TRUE(file.Seek(4, SeekOrigin::Begin, &pos));
  EXPECT_EQ(pos, 4);
  const unsigned char field[] = {0xAA, 0xBB};
  ASSERT_TRUE(file.Write(field, 2, &done));
  ASSERT_TRUE(file.Seek(0, SeekOrigin::End, &pos));
  EXPECT_EQ(pos, 100);
  ASSERT_TRUE(file.Flush());
  file.Close();
  EXPECT_FALSE(file.IsValid());

  data[4] = 0xAA;
  data[5] = 0xBB;
  ASSERT_TRUE(file.Open(u"\\My Documents\\a.bin", FileAccess::Read));
  std::vector<unsigned char> back(200);
  ASSERT_TRUE(file.Read(back.data(), 200, &done));
  ASSERT_EQ(done, 100u);
  back.resize(done);
  EXPECT_EQ(back, data);
  ASSERT_TRUE(file.Read(back.data(), 10, &done));
  EXPECT_EQ(done, 0u);  // end of file
  ASSERT_TRUE(file.Seek(-10, SeekOrigin::End, &pos));
  ASSERT_TRUE(file.Seek(3, SeekOrigin::Current, &pos));
  EXPECT_EQ(pos, 93);
  EXPECT_FALSE(file.Seek(-1, SeekOrigin::Begin));
  EXPECT_EQ(GetLastError(), EINVAL);
}

TEST_F(FileTest, OpenModes) {
  const std::string host = roots_.Documents() + "/x.txt";
  ASSERT_TRUE(WriteHostFile(host, "old content"));
  File file;
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::Write));  // truncates
  int64_t size = -1;
  ASSERT_TRUE(file.Size(&size));
  EXPECT_EQ(size, 0);

  EXPECT_FALSE(file.Open(u"\\My Documents\\x.txt", FileAccess::CreateNew));
  EXPECT_EQ(GetLastError(), EEXIST);
  EXPECT_FALSE(file.IsValid());
  EXPECT_TRUE(file.Open(u"\\My Documents\\y.txt", FileAccess::CreateNew));

  EXPECT_FALSE(file.Open(u"\\My Documents\\missing.txt", FileAccess::Read));
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(file.Open(u"\\My Documents\\missing.txt", FileAccess::ReadWrite));
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(fs::exists(roots_.Documents() + "/missing.txt"));

  ASSERT_TRUE(WriteHostFile(host, "abc"));
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::ReadWrite));
  ASSERT_TRUE(file.Seek(0, SeekOrigin::End));
  uint32_t done = 0;
  ASSERT_TRUE(file.Write("d", 1, &done));
  file.Close();
  EXPECT_EQ(ReadHostFile(host), "abcd");

  // A read-only file refuses writes, a folder refuses to open as a file.
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::Read));
  EXPECT_FALSE(file.Write("e", 1, &done));
  EXPECT_EQ(GetLastError(), EBADF);
  EXPECT_FALSE(file.Open(u"\\My Documents", FileAccess::Read));
  EXPECT_EQ(GetLastError(), EISDIR);
}

TEST_F(FileTest, MovedFileKeepsTheDescriptor) {
  File a;
  ASSERT_TRUE(a.Open(u"\\My Documents\\m.bin", FileAccess::Write));
  const int fd = a.Descriptor();
  File b(std::move(a));
  EXPECT_FALSE(a.IsValid());
  EXPECT_EQ(b.Descriptor(), fd);
  File c;
  c = std::move(b);
  EXPECT_EQ(c.Descriptor(), fd);
  uint32_t done = 0;
  EXPECT_TRUE(c.Write("z", 1, &done));
  EXPECT_FALSE(b.Write("z", 1, &done));
  EXPECT_EQ(GetLastError(), EBADF);
}

TEST_F(FileTest, PathsOutsideEveryRootFailWithNotFound) {
  File file;
  EXPECT_FALSE(file.Open(u"\\Windows\\x.txt", FileAccess::Write));
  EXPECT_EQ(GetLastError(), ENOENT);
  SetLastError(0);
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\..\\..\\etc"), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), ENOENT);
  SetLastError(0);
  EXPECT_FALSE(CreateDirectory(u"\\Missing Card\\Quillon"));
  EXPECT_EQ(GetLastError(), ENOENT);
  uint64_t free = 0;
  EXPECT_FALSE(GetDiskFreeSpace(u"\\Missing Card", &free));
}

TEST_F(FileTest, AttributesAndFolders) {
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon"), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), ENOENT);
  ASSERT_TRUE(CreateDirectory(u"\\My Documents\\Quillon"));
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon"), kAttrDirectory);
  EXPECT_FALSE(CreateDirectory(u"\\my documents\\QUILLON\\..\\Quillon"));
  EXPECT_EQ(GetLastError(), EEXIST);

  ASSERT_TRUE(WriteHostFile(roots_.Documents() + "/Quillon/Recording00.wav", "RIFF"));
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon\\Recording00.wav"), kAttrNormal);

  // Only the last level is made: a folder below a missing one fails.
  EXPECT_FALSE(CreateDirectory(u"\\Storage Card\\Quillon\\Sub"));
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_TRUE(CreateDirectory(u"\\Storage Card\\Quillon"));
  EXPECT_TRUE(fs::is_directory(roots_.Card(u"Storage Card") + "/Quillon"));
}

TEST_F(FileTest, DeleteAndMoveNeverReplace) {
  ASSERT_TRUE(WriteHostFile(roots_.Documents() + "/a.wav", "A"));
  ASSERT_TRUE(WriteHostFile(roots_.Documents() + "/b.wav", "B"));
  EXPECT_FALSE(MoveFile(u"\\My Documents\\a.wav", u"\\My Documents\\b.wav"));
  EXPECT_EQ(GetLastError(), EEXIST);
  EXPECT_EQ(ReadHostFile(roots_.Documents() + "/a.wav"), "A");
  EXPECT_EQ(ReadHostFile(roots_.Documents() + "/b.wav"), "B");

  ASSERT_TRUE(MoveFile(u"\\My Documents\\a.wav", u"\\Storage Card\\c.wav"));
  EXPECT_FALSE(fs::exists(roots_.Documents() + "/a.wav"));
  EXPECT_EQ(ReadHostFile(roots_.Card(u"Storage Card") + "/c.wav"), "A");

  ASSERT_TRUE(DeleteFile(u"\\My Documents\\b.wav"));
  EXPECT_FALSE(fs::exists(roots_.Documents() + "/b.wav"));
  EXPECT_FALSE(DeleteFile(u"\\My Documents\\b.wav"));
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(MoveFile(u"\\My Documents\\b.wav", u"\\My Documents\\d.wav"));
  EXPECT_EQ(GetLastError(), ENOENT);
}

TEST_F(FileTest, FreeSpaceOfTheVolume) {
  uint64_t free = 0;
  ASSERT_TRUE(GetDiskFreeSpace(u"\\My Documents", &free));
  EXPECT_GT(free, 0u);
  EXPECT_FALSE(GetDiskFreeSpace(u"\\My Documents\\missing", &free));
  EXPECT_EQ(GetLastError(), ENOENT);
}

// A fresh machine has no configuration folder: the first save must work.
TEST_F(FileTest, ProgramFolderIsCreatedOnFirstWrite) {
  roots_.RemoveConfig();
  File file;
  EXPECT_FALSE(file.Open(u"\\Program Files\\Quillon\\settings.dat", FileAccess::Read));
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(fs::exists(roots_.Config()));

  ASSERT_TRUE(file.Open(u"\\Program Files\\Quillon\\settings.dat", FileAccess::Write));
  EXPECT_TRUE(fs::is_regular_file(roots_.Config() + "/settings.dat"));
}

TEST_F(FileTest, DocumentsFolderIsCreatedButNeverACard) {
  fs::remove_all(roots_.Documents());
  fs::remove_all(roots_.Card(u"Storage Card"));
  EXPECT_TRUE(CreateDirectory(u"\\My Documents\\Quillon"));
  EXPECT_TRUE(fs::is_directory(roots_.Documents() + "/Quillon"));
  EXPECT_FALSE(CreateDirectory(u"\\Storage Card\\Quillon"));
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(fs::exists(roots_.Card(u"Storage Card")));
}

}  // namespace
}  // namespace platform
