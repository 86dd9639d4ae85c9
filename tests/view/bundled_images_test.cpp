// The images shipped in resources/, found by id at the sizes the view draws them.
#include <gtest/gtest.h>

#include "view/skin_images.h"
#include "view/synthetic_skin.h"

namespace {

TEST(BundledImages, AreFoundByIdAtTheirDrawnSizes) {
  view::SetSkinImageFolder(QString());
  for (const view_test::ImageSize& e : view_test::kViewImages) {
    QImage image;
    ASSERT_TRUE(view::LoadSkinImage(e.id, &image)) << e.id;
    EXPECT_EQ(image.size(), QSize(e.width, e.height)) << e.id;
  }
}

}  // namespace
