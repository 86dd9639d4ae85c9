#pragma once
// The two-column level meter at the left of the skin and the horizontal VAS
// bar. The audio thread measures into the MeterState fields; the view draws
// from them.

#include "audio/meter_state.h"
#include "view/image_list.h"
#include "view/skin_control.h"

namespace settings {
struct SettingsRecord;
}

namespace view {

class LevelMeter : public SkinControl, public audio::MeterState {
 public:
  ~LevelMeter() override;

  // The meter starts disabled.
  bool Init(int left, int top, int width, int height, int image, int id);

  void FreeImages() override;
  bool HitTest(int x, int y) override;
  // Disabled: erases the columns and the bar area and zeroes the level, every
  // time. Enabled: draws the level measured since the last draw.
  bool Draw(QImage& back, const QImage& skin) override;

  // The measured flag shared with the audio thread is the one that counts.
  using audio::MeterState::Dirty;

  // Where the VAS bar's two rows lie on the skin.
  static constexpr int kBarLeft = 57, kBarTop = 133, kBarWidth = 167, kBarHeight = 13;
  static constexpr int kBarRowGap = 8;  // the second row starts 8 pixels lower
  static constexpr int kRightColumnOffset = 8;

  int32_t DrawnBarHeight = 0;
  int32_t DrawnBarWidth = 0;
  // Heights last drawn in each column, so that one column falling is erased
  // even while the other rises.
  int32_t DrawnLeftHeight = 0;
  int32_t DrawnRightHeight = 0;
  ImageList BarImages;
  const settings::SettingsRecord* Settings = nullptr;
  // Whether the last Draw changed the VAS bar's pixels (its area needs
  // showing again).
  bool BarChanged = false;

 private:
  void DrawColumn(QImage& back, int x, int rows);

  // With the Drawn* fields, what the last draw depends on: a level that
  // lights the same rows changes no pixel, and is not shown again.
  int drawnChannels_ = 0;  // 0: nothing drawn since the meter was erased
  bool drawnVas_ = false;
  bool barShown_ = false;  // the bar's rows show part of a bar
};

}  // namespace view
