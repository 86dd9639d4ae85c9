#include "view/skin_button.h"

namespace view {

SkinButton::~SkinButton() { SkinButton::FreeImages(); }

bool SkinButton::Init(int left, int top, int width, int height, int pressedImage,
                      int disabledImage, int kind, int id) {
  FreeImages();
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Right = left + width - 1;
  Bottom = top + height - 1;
  if (!Image.Load(nullptr, pressedImage)) return false;
  if (!Image2.Load(nullptr, disabledImage)) return false;
  Toggled = 0;
  Kind = kind;
  Face = FaceNormal;
  Id = static_cast<uint16_t>(id);
  return true;
}

bool SkinButton::LoadButtonFaces(int face2Normal, int face2Pressed, int face3Normal,
                                 int face3Pressed) {
  return Face2Normal.Load(nullptr, face2Normal) && Face2Pressed.Load(nullptr, face2Pressed) &&
         Face3Normal.Load(nullptr, face3Normal) && Face3Pressed.Load(nullptr, face3Pressed);
}

void SkinButton::SetToggled(bool on) {
  if (Kind != ToggleButton) return;
  Toggled = on ? 1 : 0;
  Pressed = on ? 1 : 0;
  Dirty = 1;
}

void SkinButton::DrawEnabledState(QImage& back, const QImage& skin) {
  if (Enabled)
    CopyRect(back, Left, Top, skin, Left, Top, Width, Height);
  else
    CopyRect(back, Left, Top, Image2.Image, 0, 0, Width, Height);
}

void SkinButton::Press() {
  if (!Enabled) return;
  Pressed = 1;
  Dirty = 1;
  if (Kind == ToggleButton) Toggled = Toggled ? 0 : 1;
}

void SkinButton::Release() {
  if (!Enabled) return;
  Pressed = (Kind == ToggleButton && Toggled) ? 1 : 0;
  Dirty = 1;
}

void SkinButton::FreeImages() {
  SkinControl::FreeImages();
  Face2Normal.Free();
  Face2Pressed.Free();
  Face3Normal.Free();
  Face3Pressed.Free();
}

bool SkinButton::HitTest(int x, int y) {
  if (!Enabled) return false;
  return Left <= x && x < Right && Top <= y && y < Bottom;
}

bool SkinButton::Draw(QImage& back, const QImage& skin) {
  if (!Enabled || !Dirty) return false;
  const bool pressed = Pressed != 0;
  switch (Face) {
    case FaceActive:
      CopyRect(back, Left, Top, (pressed ? Face2Pressed : Face2Normal).Image, 0, 0, Width, Height);
      break;
    case FacePaused:
      CopyRect(back, Left, Top, (pressed ? Face3Pressed : Face3Normal).Image, 0, 0, Width, Height);
      break;
    default:
      if (pressed)
        CopyRect(back, Left, Top, Image.Image, 0, 0, Width, Height);
      else
        CopyRect(back, Left, Top, skin, Left, Top, Width, Height);
      break;
  }
  Dirty = 0;
  return true;
}

}  // namespace view
