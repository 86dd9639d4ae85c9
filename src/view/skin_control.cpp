#include "view/skin_control.h"

namespace view {

SkinControl::~SkinControl() = default;

void SkinControl::Press() {
  if (!Enabled) return;
  Pressed = 1;
  Dirty = 1;
}

void SkinControl::Release() {
  if (!Enabled) return;
  Pressed = 0;
  Dirty = 1;
}

void SkinControl::FreeImages() {
  Image.Free();
  Image2.Free();
}

}  // namespace view
