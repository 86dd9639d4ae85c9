#include "diag/show_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

class ShowErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::SetErrorPresenter([this](void* owner, const std::u16string& text) {
      owners_.push_back(owner);
      shown_.push_back(text);
      return 7;
    });
  }
  void TearDown() override { diag::SetErrorPresenter(nullptr); }

  std::vector<void*> owners_;
  std::vector<std::u16string> shown_;
  int owner_ = 0;
};

TEST_F(ShowErrorTest, ShowsTheTextAndForACodeAnEmptyLineAndTheSystemText) {
  EXPECT_EQ(diag::ShowError(&owner_, u"CreateThread(): failed.", 0), 7);
  diag::ShowError(nullptr, u"Allocate memory failed.", ENOMEM);
  diag::ShowError(nullptr, u"CreateFile(): failed.", 999999);
  const std::vector<std::u16string> expected = {u"CreateThread(): failed.",
                                                u"Allocate memory failed.\n\nCannot allocate memory",
                                                u"CreateFile(): failed.\n\nUnknown error: 999999"};
  EXPECT_EQ(shown_, expected);
  EXPECT_EQ(owners_, (std::vector<void*>{&owner_, nullptr, nullptr}));

  // No text shows nothing.
  EXPECT_EQ(diag::ShowError(nullptr, static_cast<const char16_t*>(nullptr), ENOMEM), -1);
  EXPECT_EQ(diag::ShowError(nullptr, u"", 0), -1);
  EXPECT_EQ(shown_.size(), 3u);
}

TEST_F(ShowErrorTest, InsertsNumberedArgumentsAndCutsAt4094Characters) {
  const std::vector<std::u16string> args = {u"Recording00.wav", u"\\Storage Card"};
  EXPECT_EQ(diag::ComposeErrorText(u"Cannot open %1 on %2 (%1).", 0, args),
            u"Cannot open Recording00.wav on \\Storage Card (Recording00.wav).");
  EXPECT_EQ(diag::ComposeErrorText(u"%1!s! at 100%% of %3", 0, args), u"Recording00.wav at 100% of %3");
  EXPECT_EQ(diag::ComposeErrorText(u"shown%0 not shown", 0, args), u"shown");
  EXPECT_EQ(diag::ComposeErrorText(u"a%nb%tc", 0), u"a\nb\tc");

  const std::u16string longText(5000, u'a');
  diag::ShowError(nullptr, longText.c_str(), 0);
  EXPECT_EQ(shown_.at(0), std::u16string(4094, u'a'));
  // The system's text goes into what is left of the buffer.
  const std::u16string nearlyFull(4090, u'b');
  EXPECT_EQ(diag::ComposeErrorText(nearlyFull.c_str(), ENOMEM), nearlyFull + u"\n\nCa");
}

TEST_F(ShowErrorTest, LoadsTextsFromTheStringTable) {
  ASSERT_TRUE(diag::RegisterString(200, u"Cannot open %1."));
  EXPECT_EQ(diag::ShowError(&owner_, 200, ENOMEM, {u"settings.dat"}), 7);
  EXPECT_EQ(shown_, std::vector<std::u16string>{u"Cannot open settings.dat.\n\nCannot allocate memory"});
  EXPECT_EQ(diag::ShowError(&owner_, 201, 0), -1);
  EXPECT_EQ(diag::ShowError(&owner_, 0, 0), -1);
  EXPECT_FALSE(diag::RegisterString(0, u"x"));
  EXPECT_FALSE(diag::RegisterString(65536, u"x"));
  EXPECT_EQ(shown_.size(), 1u);
}

TEST(ShowErrorWithoutPresenter, WritesToStandardErrorAndAnswersOk) {
  diag::SetErrorPresenter(nullptr);
  ::testing::internal::CaptureStderr();
  const int result = diag::ShowError(nullptr, u"Stream \u00e9chou\u00e9", ENOMEM);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Stream \xc3\xa9" "chou\xc3\xa9\n\nCannot allocate memory\n");
  EXPECT_EQ(result, diag::kResultOk);
}

}  // namespace
