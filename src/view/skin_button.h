#pragma once
// A round bitmap button of the skin: a push button or a toggle button, with
// up to three faces (normal, active, paused) of a normal and a pressed look.
// The normal look of face 1 is the skin itself.

#include "view/skin_control.h"

namespace view {

enum ButtonKind : int32_t { PushButton = 1, ToggleButton = 2 };
enum ButtonFace : int32_t { FaceNormal = 1, FaceActive = 2, FacePaused = 3 };

class SkinButton : public SkinControl {
 public:
  ~SkinButton() override;

  bool Init(int left, int top, int width, int height, int pressedImage, int disabledImage,
            int kind, int id);
  // Loads the face 2 and face 3 looks in this order, stopping at the first
  // image that can't be loaded (id 0 counts as missing).
  bool LoadButtonFaces(int face2Normal, int face2Pressed, int face3Normal, int face3Pressed);
  // Toggle buttons only: on or off, lit while on.
  void SetToggled(bool on);
  // The enabled look (the skin) or the disabled image, whatever the face and
  // flags; changes no flag.
  void DrawEnabledState(QImage& back, const QImage& skin);

  void Press() override;
  void Release() override;
  void FreeImages() override;
  bool HitTest(int x, int y) override;
  bool Draw(QImage& back, const QImage& skin) override;

  int32_t Kind = 0;
  std::atomic<int32_t> Toggled{0};
  std::atomic<int32_t> Face{0};
  ScreenBitmap Face2Normal, Face2Pressed, Face3Normal, Face3Pressed;
};

}  // namespace view
