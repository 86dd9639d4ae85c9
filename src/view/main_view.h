#pragma once
// The skinned main view: the 240 × 269 skin with its buttons, sliders, level
// meter, icons and text areas, all drawn into an off-screen copy of the skin
// (BackBuffer) that the window shows. Drawing may come from the UI thread and
// from the monitor thread; one lock makes every drawing exclusive, and the
// changed rectangles are repainted on the UI thread.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <QImage>
#include <QRect>
#include <QRegion>

#include "diag/tracker.h"
#include "platform/sync.h"
#include "view/control_ids.h"
#include "view/image_list.h"
#include "view/level_meter.h"
#include "view/repaint_pacer.h"
#include "view/screen_bitmap.h"
#include "view/skin_button.h"
#include "view/skin_slider.h"

class QPainter;
class QWidget;

namespace view {

class MonitorThread;
class ViewTransport;

class MainView : public diag::Tracked {
 public:
  // The body of the monitor thread; it runs until QuitEvent is signalled.
  using MonitorBody = std::function<void(MainView&)>;

  static constexpr int kSkinImage = 104;
  static constexpr int kVolumeIconImage = 159;
  static constexpr int kStatusIconImage = 160;

  // window: the widget the view is shown in and the owner of its error
  // boxes (may be null). Takes no resources.
  MainView(QWidget* window, ViewTransport* transport);
  ~MainView();
  MainView(const MainView&) = delete;
  MainView& operator=(const MainView&) = delete;

  // Set before Init to have Init start the monitor thread with this body
  // instead of the monitor of the transport's device.
  void SetMonitorBody(MonitorBody body) { MonitorMain = std::move(body); }

  bool Init();
  void Shutdown();
  // Copies BackBuffer to the window (the painter is the window's).
  void Paint(QPainter& painter);

  // Pen handling; id receives the control concerned or 0.
  bool PointerDown(int x, int y, int* id);
  bool PointerMove(int x, int y, int* id);
  bool PointerUp(int x, int y, int* id);

  void SetSliderPercent(int sliderId, int percent);
  int SliderPercent(int sliderId);
  void SetVasThreshold(int percent);

  void ShowFileName(const char16_t* text);
  void ShowLength(const char16_t* text);
  void ShowTime(const char16_t* text);
  void ShowFormat(const char16_t* text);
  // The playback speed beside the format ("0.75×"), or nothing (an empty
  // text) at 1x. The format area holds about ten letters: with a speed shown
  // it keeps the format's first word ("GSM 0.75×").
  void ShowSpeed(const char16_t* text);
  void ShowStorage(const char16_t* text);

  void SetButtonToggled(int buttonId, bool on);
  void EnableButton(int buttonId, bool on);
  void SetButtonFace(int buttonId, int face);
  void ShowVolumeIcon(int index);
  void ShowStatusIcon(int index);

  // Draws the control if it needs it and repaints what changed; the meter
  // always repaints its VAS bar area as well, unless a widget beside the
  // view's (the document list) covers it.
  void RedrawControl(SkinControl& control);
  // Draws text in the rectangle (left, top, right, bottom), bottom-aligned.
  void DrawSkinText(const char16_t* text, int left, int top, int right, int bottom, int points,
                    int weight);

  // A copy of what the window shows (for the program's own checks and tests).
  QImage Snapshot();
  // What the text areas and icons show now: the last text or icon drawn
  // there (-1 for an icon never drawn).
  enum class TextArea { FileName, Length, Time, Format, Storage, Count };
  std::u16string ShownText(TextArea area);
  int ShownStatusIcon();
  int ShownVolumeIcon();

  // Repaints the rectangle on the UI thread, whichever thread asks.
  void Invalidate(const QRect& rect);
  // The same, skipped while a widget beside the view's covers the whole area:
  // repainting would only paint that widget again. Uncovering it repaints
  // the area anyway.
  void InvalidateUnlessCovered(const QRect& rect);
  // After Init: `listener` is called on the UI thread after each change
  // reaches the window (at most once a frame for the monitor thread's), but
  // not for the level meter's alone.
  void OnShown(std::function<void()> listener);

  ScreenBitmap Skin;
  ScreenBitmap BackBuffer;
  QWidget* MainWindow;
  ViewTransport* Transport;
  MonitorBody MonitorMain;
  // The monitor of the transport's device, when the transport has one and no
  // other body was set.
  std::unique_ptr<view::MonitorThread> Monitor;
  std::thread MonitorThread;
  std::unique_ptr<platform::Event> QuitEvent;
  // Guards every drawing into BackBuffer and the controls' drawing state, not
  // only text: the monitor thread draws too.
  platform::CriticalSection TextLock;
  SkinButton Buttons[kButtonCount];
  int32_t ButtonCaptured = 0;
  int32_t CapturedButton = 0;
  SkinSlider Sliders[kSliderCount];
  int32_t SliderCaptured = 0;
  int32_t CapturedSlider = 0;
  LevelMeter Meter;
  ImageList VolumeIcons;
  ImageList StatusIcons;

 private:
  // Pixels a control may have changed: its rectangle with the right column
  // and bottom row, and a slider thumb's overhang.
  static QRect ChangedArea(const SkinControl& control);
  SkinButton* ButtonById(int id);
  SkinSlider* SliderById(int id);
  bool Fail(const char16_t* message);

  void DrawAreaText(TextArea area, const char16_t* text, int left, int top, int right, int bottom);
  // The format area from the format and speed texts last given.
  void DrawFormatArea();

  std::u16string shownText_[static_cast<int>(TextArea::Count)];
  std::u16string formatText_;
  std::u16string speedText_;
  int shownStatusIcon_ = -1;
  int shownVolumeIcon_ = -1;
  std::unique_ptr<platform::Event> monitorEnded_;
  bool initialised_ = false;
  bool meterAttached_ = false;  // the transport holds &Meter
  RepaintPacer repaints_;
};

}  // namespace view
