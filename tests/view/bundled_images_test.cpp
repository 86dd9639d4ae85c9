// The images shipped in resources/ as the view finds them by id.
#include <gtest/gtest.h>

#include <vector>

#include "diag/show_error.h"
#include "view/main_view.h"
#include "view/skin_images.h"
#include "view/synthetic_skin.h"

namespace {

TEST(BundledImages, HaveTheDrawnSizesAndBuildTheMainView) {
  view::SetSkinImageFolder(QString());
  for (const view_test::ImageSize& e : view_test::kViewImages) {
    QImage image;
    ASSERT_TRUE(view::LoadSkinImage(e.id, &image)) << e.id;
    EXPECT_EQ(image.size(), QSize(e.width, e.height)) << e.id;
  }

  std::vector<std::u16string> errors;
  diag::SetErrorPresenter([&](void*, const std::u16string& text) {
    errors.push_back(text);
    return 1;
  });
  view::MainView view(nullptr, nullptr);
  EXPECT_TRUE(view.Init());
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(view.VolumeIcons.Count(), 4);
  EXPECT_EQ(view.StatusIcons.Count(), 6);
  EXPECT_FALSE(view.Buttons[0].LoadButtonFaces(172, 167, 0, 0));
  EXPECT_TRUE(view.Buttons[1].LoadButtonFaces(170, 171, 168, 169));
  diag::SetErrorPresenter(nullptr);
}

}  // namespace
