#include "view/synthetic_skin.h"

#include <QDir>
#include <QFile>

#include "view/skin_images.h"

namespace view_test {

namespace {

// Neighbouring pixels and neighbouring ids differ by far more than the
// levels a pixel match allows, so a rectangle one pixel off still shows.
int Spread(int v, int step) { return (v * step) % 256; }

}  // namespace

QRgb SkinPixel(int x, int y) { return qRgb(Spread(x, 9), Spread(y, 9), 40); }

QRgb ImagePixel(int id, int x, int y) {
  switch (id) {
    case 143: return qRgb(143, Spread(y, 9), 200);
    case 112: return qRgb(112, Spread(y, 9), 201);
    case 158: return qRgb(158, Spread(x, 9), 202);
    case 163: return qRgb(163, Spread(x, 9), 203);
    default: return qRgb(id, Spread(id, 37), 210);
  }
}

QRgb IconPixel(int id, int index) { return qRgb(id, 20 * index, 220); }

SyntheticSkin::SyntheticSkin() {
  // A pattern image for every bundled one, at its size.
  for (const QString& name : QDir(view::SkinImageFolder()).entryList({"*.png"})) {
    const int id = name.section('-', 0, 0).toInt();
    const QSize size = QImage(view::FindSkinImage(id)).size();
    const bool strip = id == 159 || id == 160, thumb = id == 102 || id == 157;
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x)
        image.setPixel(x, y, id == 104 ? SkinPixel(x, y)
                             : strip   ? IconPixel(id, x / size.height())
                                       : ImagePixel(id, x, y));
    const int step = strip ? size.height() : size.width();
    if (strip || thumb)  // transparent top-left corners
      for (int x = 0; x < size.width(); x += step) image.setPixel(x, 0, qRgb(255, 0, 255));
    image.save(dir_.filePath(QString("%1-test.png").arg(id)));
  }
  view::SetSkinImageFolder(dir_.path());
}

SyntheticSkin::~SyntheticSkin() { view::SetSkinImageFolder(QString()); }

void SyntheticSkin::Remove(int id) { QFile::remove(dir_.filePath(QString("%1-test.png").arg(id))); }

}  // namespace view_test
