#include "platform/file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

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

TEST_F(FileTest, OpenModes) {
  ASSERT_TRUE(WriteHostFile(Docs("x.txt"), "old content"));
  File file;
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::Write));  // truncates
  EXPECT_EQ(ReadHostFile(Docs("x.txt")), "");
  ExpectError(file.Open(u"\\My Documents\\x.txt", FileAccess::CreateNew), EEXIST);
  EXPECT_TRUE(file.Open(u"\\My Documents\\y.txt", FileAccess::CreateNew));
  ExpectError(file.Open(u"\\My Documents\\missing.txt", FileAccess::ReadWrite), ENOENT);
  ExpectError(file.Open(u"\\My Documents", FileAccess::Read), EISDIR);

  ASSERT_TRUE(WriteHostFile(Docs("x.txt"), "abc"));
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::ReadWrite));
  ASSERT_TRUE(file.Seek(0, SeekOrigin::End));
  ASSERT_TRUE(file.Write("d", 1, &done_));
  ExpectError(file.Seek(-1, SeekOrigin::Begin), EINVAL);
  File moved(std::move(file));  // the moved-from file no longer owns the descriptor
  EXPECT_FALSE(file.IsValid());
  moved.Close();
  EXPECT_EQ(ReadHostFile(Docs("x.txt")), "abcd");
  ASSERT_TRUE(file.Open(u"\\My Documents\\x.txt", FileAccess::Read));
  ExpectError(file.Write("e", 1, &done_), EBADF);
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
}

// A fresh machine has no documents folder: it is made on first use, a
// missing card never is.
TEST_F(FileTest, MissingDocumentsFolderIsCreatedButNeverACard) {
  fs::remove_all(roots_.Documents());
  fs::remove_all(roots_.Card(u"Storage Card"));
  EXPECT_TRUE(CreateDirectory(u"\\My Documents\\Quillon"));
  EXPECT_TRUE(fs::is_directory(Docs("Quillon")));
  ExpectError(CreateDirectory(u"\\Storage Card\\Quillon"), ENOENT);
  EXPECT_FALSE(fs::exists(roots_.Card(u"Storage Card")));
}

}  // namespace
}  // namespace platform
