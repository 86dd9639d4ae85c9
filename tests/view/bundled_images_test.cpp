#include <gtest/gtest.h>

#include <vector>

#include "diag/show_error.h"
#include "view/main_view.h"
#include "view/skin_images.h"

namespace {

struct Expected {
  int id, width, height;
};

// Every image the main view draws, at the size it is drawn.
TEST(BundledImages, HaveTheSizesTheViewDrawsThemAt) {
  view::SetSkinImageFolder(QString());
  const Expected images[] = {
      {104, 240, 269}, {140, 28, 28}, {142, 28, 28}, {122, 34, 34}, {121, 34, 34},
      {113, 28, 28},   {125, 28, 28}, {138, 28, 28}, {137, 28, 28}, {135, 28, 28},
      {134, 28, 28},   {127, 28, 28}, {124, 28, 28}, {119, 28, 28}, {118, 28, 28},
      {162, 38, 38},   {161, 38, 38}, {172, 28, 28}, {167, 28, 28}, {170, 34, 34},
      {171, 34, 34},   {168, 34, 34}, {169, 34, 34}, {112, 10, 61}, {102, 13, 8},
      {158, 173, 11},  {157, 10, 15}, {143, 3, 75},  {163, 167, 3}, {159, 72, 18},
      {160, 60, 10},
  };
  for (const Expected& e : images) {
    QImage image;
    ASSERT_TRUE(view::LoadSkinImage(e.id, &image)) << e.id;
    EXPECT_EQ(image.size(), QSize(e.width, e.height)) << e.id;
  }
}

TEST(BundledImages, BuildTheMainView) {
  view::SetSkinImageFolder(QString());
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
  EXPECT_TRUE(view.Buttons[0].LoadButtonFaces(172, 167, 0, 0) == false);
  EXPECT_TRUE(view.Buttons[1].LoadButtonFaces(170, 171, 168, 169));
  diag::SetErrorPresenter(nullptr);
}

}  // namespace
