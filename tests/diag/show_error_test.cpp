#include "diag/show_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

// A code adds an empty line and the system's text; texts from the string
// table take their arguments; the system's text goes into what is left of
// the 4094 characters, so adding "\n\n" cannot overflow.
TEST(ShowError, ComposesTheTextWithTheSystemsAndShowsItToTheOwnersPresenter) {
  std::vector<std::pair<void*, std::u16string>> shown;
  diag::SetErrorPresenter([&](void* owner, const std::u16string& text) {
    shown.emplace_back(owner, text);
    return 7;
  });
  int owner = 0;
  EXPECT_EQ(diag::ShowError(&owner, u"CreateThread(): failed.", 0), 7);
  diag::ShowError(nullptr, u"Allocate memory failed.", ENOMEM);
  diag::ShowError(nullptr, u"CreateFile(): failed.", 999999);
  EXPECT_EQ(diag::ShowError(nullptr, u"", 0), -1);  // no text shows nothing
  ASSERT_TRUE(diag::RegisterString(200, u"Cannot open %1."));
  EXPECT_EQ(diag::ShowError(nullptr, 200, ENOMEM, {u"settings.dat"}), 7);
  EXPECT_EQ(diag::ShowError(nullptr, 201, 0), -1);
  const decltype(shown) expected = {{&owner, u"CreateThread(): failed."},
                                    {nullptr, u"Allocate memory failed.\n\nCannot allocate memory"},
                                    {nullptr, u"CreateFile(): failed.\n\nUnknown error: 999999"},
                                    {nullptr, u"Cannot open settings.dat.\n\nCannot allocate memory"}};
  EXPECT_EQ(shown, expected);
  diag::SetErrorPresenter(nullptr);

  EXPECT_EQ(diag::ComposeErrorText(u"%1 on %2 (%1) %3, 100%%%0 not shown", 0, {u"a.wav", u"\\SD"}),
            u"a.wav on \\SD (a.wav) %3, 100%");
  const std::u16string nearlyFull(4090, u'b');
  EXPECT_EQ(diag::ComposeErrorText(nearlyFull.c_str(), ENOMEM), nearlyFull + u"\n\nCa");
  EXPECT_EQ(diag::ComposeErrorText(std::u16string(5000, u'a').c_str(), 0), std::u16string(4094, u'a'));
}

}  // namespace
