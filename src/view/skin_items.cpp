#include "view/skin_items.h"

#include <algorithm>
#include <iterator>

#include "audio/wave_format_ex.h"
#include "view/control_ids.h"
#include "view/main_view.h"

namespace view {
namespace {

using Area = MainView::TextArea;

// Top to bottom, left to right, as the skin reads.
constexpr SkinItem kItems[] = {
    {SkinItemKind::Meter, kLevelMeterId, "Level"},
    {SkinItemKind::Status, 0, "Status"},
    {SkinItemKind::Text, static_cast<int>(Area::FileName), "File name"},
    {SkinItemKind::Text, static_cast<int>(Area::Length), "Length"},
    {SkinItemKind::Text, static_cast<int>(Area::Time), "Time"},
    {SkinItemKind::Text, static_cast<int>(Area::Format), "Format"},
    {SkinItemKind::Text, static_cast<int>(Area::Storage), "Storage"},
    {SkinItemKind::Slider, kPositionSlider, "Position"},
    {SkinItemKind::Slider, kVolumeSlider, "Volume"},
    {SkinItemKind::Button, kRecordButton, "Record"},
    {SkinItemKind::Button, kPlayButton, "Play"},
    {SkinItemKind::Button, kStopButton, "Stop"},
    {SkinItemKind::Button, kRewindButton, "Rewind"},
    {SkinItemKind::Button, kForwardButton, "Forward"},
    {SkinItemKind::Button, kPreviousButton, "Previous track"},
    {SkinItemKind::Button, kNextButton, "Next track"},
    {SkinItemKind::Button, kVasButton, "Voice activation"},
    {SkinItemKind::Slider, kThresholdSlider, "Threshold"},
};

// The text areas' rectangles (left, top, right, bottom), as the view draws them.
constexpr QRect kTextRects[] = {
    QRect(QPoint(45, 4), QPoint(147, 20)),   QRect(QPoint(148, 4), QPoint(210, 20)),
    QRect(QPoint(33, 33), QPoint(115, 52)),  QRect(QPoint(131, 25), QPoint(215, 41)),
    QRect(QPoint(131, 40), QPoint(215, 54)),
};
constexpr QRect kStatusRect(29, 7, 10, 10);

const SkinControl* ControlOf(MainView& view, const SkinItem& item) {
  switch (item.kind) {
    case SkinItemKind::Button: return &view.Buttons[item.id - kFirstButton];
    case SkinItemKind::Slider: return &view.Sliders[item.id - kFirstSlider];
    case SkinItemKind::Meter: return &view.Meter;
    default: return nullptr;
  }
}

}  // namespace

int SkinItemCount() { return static_cast<int>(std::size(kItems)); }

const SkinItem& SkinItemAt(int index) { return kItems[std::clamp(index, 0, SkinItemCount() - 1)]; }

int SkinItemOfControl(int id) {
  for (int i = 0; i < SkinItemCount(); ++i) {
    const SkinItemKind kind = kItems[i].kind;
    if ((kind == SkinItemKind::Button || kind == SkinItemKind::Slider || kind == SkinItemKind::Meter) &&
        kItems[i].id == id)
      return i;
  }
  return -1;
}

QRect SkinItemRect(MainView& view, int index) {
  const SkinItem& item = SkinItemAt(index);
  if (item.kind == SkinItemKind::Text) return kTextRects[item.id];
  if (item.kind == SkinItemKind::Status) return kStatusRect;
  const SkinControl* control = ControlOf(view, item);
  return QRect(control->Left, control->Top, control->Width, control->Height);
}

bool SkinItemEnabled(MainView& view, int index) {
  const SkinControl* control = ControlOf(view, SkinItemAt(index));
  return control == nullptr || control->Enabled != 0 || SkinItemAt(index).kind == SkinItemKind::Meter;
}

QString SkinItemText(MainView& view, int index) {
  const SkinItem& item = SkinItemAt(index);
  if (item.kind == SkinItemKind::Text) return QString::fromStdU16String(view.ShownText(static_cast<Area>(item.id)));
  if (item.kind != SkinItemKind::Status) return {};
  switch (view.ShownStatusIcon()) {
    case kStatusRecording: return QStringLiteral("Recording");
    case kStatusPlaying: return QStringLiteral("Playing");
    case kStatusStopped: return QStringLiteral("Stopped");
    case kStatusPaused: return QStringLiteral("Paused");
    default: return {};
  }
}

int SkinItemValue(MainView& view, int index) {
  const SkinItem& item = SkinItemAt(index);
  if (item.kind == SkinItemKind::Slider) return view.SliderPercent(item.id);
  if (item.kind != SkinItemKind::Meter || !view.Meter.Enabled) return 0;
  // Two channels carry a byte each: the louder one counts.
  const int level = view.Meter.Level.load();
  const audio::WaveFormatEx* format = view.Meter.MeterFormat.load();
  if (format != nullptr && format->Channels == 2) return std::max(level & 0xFF, (level >> 8) & 0xFF);
  return std::min(level, 100);
}

QPoint SliderPointFor(MainView& view, int id, int percent) {
  const SkinSlider& slider = view.Sliders[id - kFirstSlider];
  const float p = static_cast<float>(std::clamp(percent, 0, 100)) * 0.01f;
  // The inverse of the slider's own reading: the thumb is drawn centred on
  // the pen, and its edge gives the percentage.
  if (slider.Orientation == Vertical) {
    const float low = static_cast<float>(slider.Bottom - slider.ThumbHeight);
    const float edge = low - (low - static_cast<float>(slider.Top)) * p;
    return QPoint((slider.Left + slider.Right) / 2, static_cast<int>(edge + 0.5f) + slider.ThumbHeight / 2);
  }
  const float edge = static_cast<float>(slider.Left) + static_cast<float>(slider.Right - slider.Left) * p;
  return QPoint(static_cast<int>(edge + 0.5f) + slider.ThumbWidth / 2, (slider.Top + slider.Bottom) / 2);
}

}  // namespace view
