#pragma once
// A slider of the skin: vertical (the volume wedge) or horizontal (the VAS
// threshold), each a fill image with a thumb, or a plain red line (the
// playback position). The pen grabs it within a 5-pixel margin.

#include "view/image_list.h"
#include "view/skin_control.h"

namespace view {

enum SliderOrientation : int32_t { Horizontal = 1, Vertical = 2 };

class SkinSlider : public SkinControl {
 public:
  ~SkinSlider() override;

  // Horizontal when height < width. A fill id of 0 makes a plain slider.
  bool Init(int left, int top, int width, int height, int thumbWidth, int thumbHeight,
            int fillImage, int thumbImage, int id);
  void SetPercent(int percent);
  int SliderPercent() const;

  void FreeImages() override;
  // Inside the slider grown by the margin: the thumb jumps to the pen.
  bool HitTest(int x, int y) override;
  bool Draw(QImage& back, const QImage& skin) override;

  static constexpr int kHitMargin = 5;

  int32_t Orientation = 0;
  int32_t ThumbWidth = 0, ThumbHeight = 0;
  float Position = 0;       // thumb's top edge (vertical) or left edge (horizontal)
  float DrawnPosition = 0;  // Position at the last draw
  ImageList ThumbImages;
  int32_t KeepPosition = 0;  // draw at Position instead of centring the thumb on the pen
  int32_t Plain = 0;         // no images: a red line
};

}  // namespace view
