#pragma once
// A complete set of view images in a temporary folder, each a known pattern,
// so that pixel checks can tell exactly which image a rectangle came from.

#include <QImage>
#include <QString>
#include <QTemporaryDir>

namespace view_test {

// Skin pixel at (x, y): a pattern no control image uses.
QRgb SkinPixel(int x, int y);
// Colour of a control image: solid per id, except the meter column (143),
// the fill images (112, 158) and the bar (163), whose colour also varies
// along their length so that the copied part can be recognised.
QRgb ImagePixel(int id, int x, int y);
// Icon strips (159, 160) have a different colour per icon and magenta corners.
QRgb IconPixel(int id, int index);

class SyntheticSkin {
 public:
  // Writes every image and points the view's lookup at the folder.
  SyntheticSkin();
  ~SyntheticSkin();
  SyntheticSkin(const SyntheticSkin&) = delete;
  SyntheticSkin& operator=(const SyntheticSkin&) = delete;

  // Removes image id from the folder.
  void Remove(int id);
  QString Folder() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

}  // namespace view_test
