#pragma once
// Finds the program's images by their resource id. Each image is a PNG named
// "<id>-<role>.png" (for example "104-skin.png") in one folder, the bundled
// resource folder unless a test points elsewhere.

#include <QImage>
#include <QString>

namespace view {

// The folder the images are looked up in; ":/skin" (the bundled images) by
// default. An empty folder restores the default.
void SetSkinImageFolder(const QString& folder);
QString SkinImageFolder();

// Path of the image with this id, or an empty string when there is none.
QString FindSkinImage(int id);

// Loads the image with this id in the given format; false (and a null image)
// when it is missing or unreadable.
bool LoadSkinImage(int id, QImage* out, QImage::Format format = QImage::Format_RGB32);

}  // namespace view
