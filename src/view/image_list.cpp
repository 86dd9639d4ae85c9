#include "view/image_list.h"

#include <algorithm>

#include <QPainter>

#include "view/screen_bitmap.h"
#include "view/skin_images.h"

namespace view {

bool ImageList::Create(int id, int imageWidth, bool magentaTransparent) {
  Destroy();
  if (imageWidth <= 0) return false;
  QImage image;
  if (!LoadSkinImage(id, &image, magentaTransparent ? QImage::Format_ARGB32 : QImage::Format_RGB32))
    return false;
  if (magentaTransparent) {
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if ((line[x] | 0xFF000000u) == kTransparentMagenta) line[x] = 0;
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  strip_ = image;
  imageWidth_ = imageWidth;
  transparent_ = magentaTransparent;
  return true;
}

void ImageList::Destroy() {
  strip_ = QImage();
  imageWidth_ = 0;
  transparent_ = false;
}

int ImageList::Count() const { return imageWidth_ > 0 ? strip_.width() / imageWidth_ : 0; }

void ImageList::Draw(QImage& dst, int index, int x, int y, int columns) const {
  if (index < 0 || index >= Count()) return;
  const int width = columns < 0 ? imageWidth_ : std::min(columns, imageWidth_);
  if (width <= 0) return;
  if (!transparent_) {
    CopyRect(dst, x, y, strip_, index * imageWidth_, 0, width, strip_.height());
    return;
  }
  QPainter painter(&dst);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.drawImage(x, y, strip_, index * imageWidth_, 0, width, strip_.height());
}

}  // namespace view
