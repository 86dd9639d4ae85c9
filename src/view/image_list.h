#pragma once
// A strip of equally wide images (icons, thumbs, the VAS bar) drawn by index,
// optionally with magenta as the transparent colour.

#include <QImage>

namespace view {

inline constexpr QRgb kTransparentMagenta = 0xFFFF00FFu;

class ImageList {
 public:
  // Loads image id and cuts it into images imageWidth pixels wide; with
  // magentaTransparent, magenta pixels are not drawn. False when the image
  // can't be loaded or imageWidth is not positive.
  bool Create(int id, int imageWidth, bool magentaTransparent);
  void Destroy();
  bool IsNull() const { return strip_.isNull(); }
  int Count() const;
  int ImageWidth() const { return imageWidth_; }
  int ImageHeight() const { return strip_.height(); }

  // Draws image index at (x, y) of dst (a 32-bit RGB image); only the first
  // columns (clamped to the image width) when columns is not negative.
  void Draw(QImage& dst, int index, int x, int y, int columns = -1) const;

 private:
  QImage strip_;  // ARGB, premultiplied when transparent pixels exist
  int imageWidth_ = 0;
  bool transparent_ = false;
};

}  // namespace view
