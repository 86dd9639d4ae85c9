#include "view/synthetic_skin.h"

#include <QFile>

#include "view/skin_images.h"

namespace view_test {

namespace {

// Every image the view loads, at its drawn size.
const struct { int id, width, height; } kViewImages[] = {
    {104, 240, 269},
    // buttons: pressed and disabled looks, alternative faces
    {140, 28, 28}, {142, 28, 28}, {122, 34, 34}, {121, 34, 34}, {113, 28, 28}, {125, 28, 28},
    {138, 28, 28}, {137, 28, 28}, {135, 28, 28}, {134, 28, 28}, {127, 28, 28}, {124, 28, 28},
    {119, 28, 28}, {118, 28, 28}, {162, 38, 38}, {161, 38, 38},
    {172, 28, 28}, {167, 28, 28}, {170, 34, 34}, {171, 34, 34}, {168, 34, 34}, {169, 34, 34},
    // sliders: fills and thumbs
    {112, 10, 61}, {102, 13, 8}, {158, 173, 11}, {157, 10, 15},
    // meter column, VAS bar, icons
    {143, 3, 75}, {163, 167, 3}, {159, 72, 18}, {160, 60, 10},
};

}  // namespace

QRgb SkinPixel(int x, int y) { return qRgb(x % 256, y % 256, 40); }

QRgb ImagePixel(int id, int x, int y) {
  switch (id) {
    case 143: return qRgb(143, y, 200);
    case 112: return qRgb(112, y, 201);
    case 158: return qRgb(158, x, 202);
    case 163: return qRgb(163, x, 203);
    default: return qRgb(id, 255 - id, 210);
  }
}

QRgb IconPixel(int id, int index) { return qRgb(id, 20 * index, 220); }

SyntheticSkin::SyntheticSkin() {
  for (const auto& s : kViewImages) {
    const bool strip = s.id == 159 || s.id == 160, thumb = s.id == 102 || s.id == 157;
    QImage image(s.width, s.height, QImage::Format_RGB32);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x)
        image.setPixel(x, y, s.id == 104 ? SkinPixel(x, y)
                             : strip      ? IconPixel(s.id, x / s.height)
                                          : ImagePixel(s.id, x, y));
    if (strip || thumb)
      for (int x = 0; x < s.width; x += strip ? s.height : s.width) image.setPixel(x, 0, qRgb(255, 0, 255));
    image.save(dir_.filePath(QString("%1-test.png").arg(s.id)));
  }
  view::SetSkinImageFolder(dir_.path());
}

SyntheticSkin::~SyntheticSkin() { view::SetSkinImageFolder(QString()); }

void SyntheticSkin::Remove(int id) { QFile::remove(dir_.filePath(QString("%1-test.png").arg(id))); }

}  // namespace view_test
