#include "platform/file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <numeric>
#include <vector>

#include "platform/last_error.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

class FileTest : public ::testing::Test {
 protected:
  // Expects a failed call and the error it left.
  static void ExpectError(bool ok, int error) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), error);
    SetLastError(0);
  }
  std::string Docs(const char* name) const { return roots_.Documents() + "/" + name; }
  testsupport::TempRoots roots_;
  uint32_t done_ = 0;
};

TEST_F(FileTest, WritesSeeksAndReadsBack) {
  std::vector<unsigned char> data(100);
  std::iota(data.begin(), data.end(), 0);
  File file;
  ASSERT_TRUE(file.Open(u"\\My Documents\\a.bin", FileAccess::Write));
  ASSERT_TRUE(file.Write(data.data(), 100, &done_));
  // Rewrite a field in the middle, as a header's sizes are rewritten.
  int64_t pos = -1;
  ASSERT_TRUE(file.Seek(4, SeekOrigin::Begin, &pos));
  EXPECT_EQ(pos, 4);
  const unsigned char field[] = {0xAA, 0xBB};
  ASSERT_TRUE(file.Write(field, 2, &done_));
  ASSERT_TRUE(file.Seek(0, SeekOrigin::End, &pos));
  EXPECT_EQ(pos, 100);
  file.Close();
  EXPECT_FALSE(file.IsValid());

  data[4] = 0xAA;
  data[5] = 0xBB;
  ASSERT_TRUE(file.Open(u"\\My Documents\\a.bin", FileAccess::Read));
  int64_t size = 0;
  ASSERT_TRUE(file.Size(&size));
  EXPECT_EQ(size, 100);
  std::vector<unsigned char> back(200);
  ASSERT_TRUE(file.Read(back.data(), 200, &done_));
  back.resize(done_);
  EXPECT_EQ(back, data);
  ASSERT_TRUE(file.Read(back.data(), 10, &done_));
  EXPECT_EQ(done_, 0u);  // end of file
  ASSERT_TRUE(file.Seek(-10, SeekOrigin::End, &pos));
  ASSERT_TRUE(file.Seek(3, SeekOrigin::Current, &pos));
  EXPECT_EQ(pos, 93);
  ExpectError(file.Seek(-1, SeekOrigin::Begin), EINVAL);
  ExpectError(file.Write("e", 1, &done_), EBADF);  // opened for reading
}

TEST_F(FileTest, OpenModes) {
  ASSERT_TRUE(WriteHostFile(Docs("x.txt"), "old content"));
  File file;
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::Write));  // truncates
  EXPECT_EQ(ReadHostFile(Docs("x.txt")), "");
  ExpectError(file.Open(u"\\My Documents\\x.txt", FileAccess::CreateNew), EEXIST);
  EXPECT_TRUE(file.Open(u"\\My Documents\\y.txt", FileAccess::CreateNew));
  ExpectError(file.Open(u"\\My Documents\\missing.txt", FileAccess::ReadWrite), ENOENT);
  EXPECT_FALSE(fs::exists(Docs("missing.txt")));
  ExpectError(file.Open(u"\\Windows\\x.txt", FileAccess::Write), ENOENT);
  ExpectError(file.Open(u"\\My Documents", FileAccess::Read), EISDIR);

  ASSERT_TRUE(WriteHostFile(Docs("x.txt"), "abc"));
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::ReadWrite));
  ASSERT_TRUE(file.Seek(0, SeekOrigin::End));
  ASSERT_TRUE(file.Write("d", 1, &done_));
  File moved(std::move(file));  // the moved-from file no longer owns the descriptor
  EXPECT_FALSE(file.IsValid());
  moved.Close();
  EXPECT_EQ(ReadHostFile(Docs("x.txt")), "abcd");
}

TEST_F(FileTest, AttributesFoldersAndFreeSpace) {
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon"), kInvalidAttributes);
  ExpectError(false, ENOENT);
  ASSERT_TRUE(CreateDirectory(u"\\My Documents\\Quillon"));
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon"), kAttrDirectory);
  ExpectError(CreateDirectory(u"\\my documents\\Quillon"), EEXIST);
  ASSERT_TRUE(WriteHostFile(Docs("Quillon/Recording00.wav"), "RIFF"));
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon\\Recording00.wav"), kAttrNormal);
  // Only the last level is made.
  ExpectError(CreateDirectory(u"\\Storage Card\\Quillon\\Sub"), ENOENT);
  EXPECT_TRUE(CreateDirectory(u"\\Storage Card\\Quillon"));
  EXPECT_TRUE(fs::is_directory(roots_.Card(u"Storage Card") + "/Quillon"));

  uint64_t free = 0;
  ASSERT_TRUE(GetDiskFreeSpace(u"\\My Documents", &free));
  EXPECT_GT(free, 0u);
  ExpectError(GetDiskFreeSpace(u"\\My Documents\\missing", &free), ENOENT);
}

TEST_F(FileTest, DeleteAndMoveNeverReplace) {
  ASSERT_TRUE(WriteHostFile(Docs("a.wav"), "A"));
  ASSERT_TRUE(WriteHostFile(Docs("b.wav"), "B"));
  ExpectError(MoveFile(u"\\My Documents\\a.wav", u"\\My Documents\\b.wav"), EEXIST);
  EXPECT_EQ(ReadHostFile(Docs("b.wav")), "B");
  ASSERT_TRUE(MoveFile(u"\\My Documents\\a.wav", u"\\Storage Card\\c.wav"));
  EXPECT_FALSE(fs::exists(Docs("a.wav")));
  EXPECT_EQ(ReadHostFile(roots_.Card(u"Storage Card") + "/c.wav"), "A");
  ASSERT_TRUE(DeleteFile(u"\\My Documents\\b.wav"));
  EXPECT_FALSE(fs::exists(Docs("b.wav")));
  ExpectError(DeleteFile(u"\\My Documents\\b.wav"), ENOENT);
}

// A fresh machine has no program or documents folder: both are made on first
// use, a missing card never is.
TEST_F(FileTest, MissingFoldersAreCreatedButNeverACard) {
  roots_.RemoveConfig();
  File file;
  ExpectError(file.Open(u"\\Program Files\\Quillon\\settings.dat", FileAccess::Read), ENOENT);
  EXPECT_FALSE(fs::exists(roots_.Config()));
  ASSERT_TRUE(file.Open(u"\\Program Files\\Quillon\\settings.dat", FileAccess::Write));
  EXPECT_TRUE(fs::is_regular_file(roots_.Config() + "/settings.dat"));

  fs::remove_all(roots_.Documents());
  fs::remove_all(roots_.Card(u"Storage Card"));
  EXPECT_TRUE(CreateDirectory(u"\\My Documents\\Quillon"));
  EXPECT_TRUE(fs::is_directory(Docs("Quillon")));
  ExpectError(CreateDirectory(u"\\Storage Card\\Quillon"), ENOENT);
  EXPECT_FALSE(fs::exists(roots_.Card(u"Storage Card")));
}

}  // namespace
}  // namespace platform
