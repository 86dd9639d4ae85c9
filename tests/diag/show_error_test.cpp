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
  EXPECT_EQ(diag::ShowError(nullptr, u"", 0), -1);  // no text shows nothing
  const std::vector<std::u16string> expected = {u"CreateThread(): failed.",
                                                u"Allocate memory failed.\n\nCannot allocate memory",
                                                u"CreateFile(): failed.\n\nUnknown error: 999999"};
  EXPECT_EQ(shown_, expected);
  EXPECT_EQ(owners_, (std::vector<void*>{&owner_, nullptr, nullptr}));
}

TEST_F(ShowErrorTest, InsertsArgumentsIntoTextsFromTheStringTableAndCutsAt4094Characters) {
  EXPECT_EQ(diag::ComposeErrorText(u"%1 on %2 (%1) %3, 100%%%0 not shown", 0, {u"a.wav", u"\\SD"}),
            u"a.wav on \\SD (a.wav) %3, 100%");
  ASSERT_TRUE(diag::RegisterString(200, u"Cannot open %1."));
  EXPECT_EQ(diag::ShowError(&owner_, 200, ENOMEM, {u"settings.dat"}), 7);
  EXPECT_EQ(diag::ShowError(&owner_, 201, 0), -1);
  EXPECT_EQ(shown_, std::vector<std::u16string>{u"Cannot open settings.dat.\n\nCannot allocate memory"});
  // The system's text goes into what is left of the buffer.
  const std::u16string nearlyFull(4090, u'b');
  EXPECT_EQ(diag::ComposeErrorText(nearlyFull.c_str(), ENOMEM), nearlyFull + u"\n\nCa");
  EXPECT_EQ(diag::ComposeErrorText(std::u16string(5000, u'a').c_str(), 0), std::u16string(4094, u'a'));
}

}  // namespace
