#include "view/main_view.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <mutex>
#include <system_error>

#include <QMetaObject>
#include <QPainter>
#include <QThread>
#include <QWidget>

#include "diag/show_error.h"
#include "platform/last_error.h"
#include "view/monitor_thread.h"
#include "view/skin_font.h"
#include "view/view_transport.h"

namespace view {
namespace {

struct ButtonRow {
  int left, top, width, height, pressedImage, disabledImage, kind, id;
};
constexpr ButtonRow kButtonRows[kButtonCount] = {
    {5, 84, 28, 28, 140, 142, PushButton, kRecordButton},
    {37, 81, 34, 34, 122, 121, PushButton, kPlayButton},
    {75, 84, 28, 28, 113, 125, PushButton, kStopButton},
    {109, 84, 28, 28, 138, 137, PushButton, kRewindButton},
    {141, 84, 28, 28, 135, 134, PushButton, kForwardButton},
    {175, 84, 28, 28, 127, 124, PushButton, kPreviousButton},
    {207, 84, 28, 28, 119, 118, PushButton, kNextButton},
    {8, 128, 38, 38, 162, 161, ToggleButton, kVasButton},
};

struct SliderRow {
  int left, top, width, height, thumbWidth, thumbHeight, fillImage, thumbImage, id;
};
constexpr SliderRow kSliderRows[kSliderCount] = {
    {223, 3, 10, 61, 13, 8, 112, 102, kVolumeSlider},
    {29, 60, 179, 11, 0, 0, 0, 0, kPositionSlider},
    {57, 151, 173, 11, 10, 15, 158, 157, kThresholdSlider},
};

constexpr int kMeterLeft = 4, kMeterTop = 3, kMeterWidth = 11, kMeterHeight = 75, kMeterImage = 143;
// The VAS bar's two rows and the gap between them.
const QRect kVasBarArea(56, 132, 224 - 56, 145 - 132);

constexpr int kVolumeIconX = 220, kVolumeIconY = 66, kVolumeIconSize = 18;
constexpr int kStatusIconX = 29, kStatusIconY = 7, kStatusIconSize = 10;

constexpr int kTextWeight = 400;
constexpr int kMonitorWaitMs = 5000;

// Rectangle (left, top, right, bottom) including its right column and bottom row.
QRect Inclusive(int left, int top, int right, int bottom) {
  return QRect(left, top, right - left + 1, bottom - top + 1);
}

}  // namespace

MainView::MainView(QWidget* window, ViewTransport* transport)
    : MainWindow(window), Transport(transport) {
  if (Transport) Transport->AttachView(this);
}

MainView::~MainView() { Shutdown(); }

bool MainView::Fail(const char16_t* message) {
  const int code = platform::GetLastError();
  diag::ShowError(MainWindow, message, code);
  return false;
}

bool MainView::Init() {
  if (!Skin.Load(MainWindow, kSkinImage) || !BackBuffer.Load(MainWindow, kSkinImage))
    return Fail(u"Failed to create compatible DC.");
  for (int i = 0; i < kButtonCount; ++i) {
    const ButtonRow& r = kButtonRows[i];
    if (!Buttons[i].Init(r.left, r.top, r.width, r.height, r.pressedImage, r.disabledImage, r.kind,
                         r.id))
      return Fail(u"Failed to initialize buttons.");
  }
  for (int i = 0; i < kSliderCount; ++i) {
    const SliderRow& r = kSliderRows[i];
    if (!Sliders[i].Init(r.left, r.top, r.width, r.height, r.thumbWidth, r.thumbHeight,
                         r.fillImage, r.thumbImage, r.id))
      return Fail(u"Failed to initialize sliders.");
  }
  if (!Meter.Init(kMeterLeft, kMeterTop, kMeterWidth, kMeterHeight, kMeterImage, kLevelMeterId))
    return Fail(u"Failed to initialize audio monitor.");
  if (Transport) {
    Transport->AttachLevelMeter(&Meter);
    meterAttached_ = true;
  }
  // The icons are not worth failing the view for: a missing one is not drawn.
  VolumeIcons.Create(kVolumeIconImage, kVolumeIconSize, true);
  StatusIcons.Create(kStatusIconImage, kStatusIconSize, true);
  initialised_ = true;

  QuitEvent.reset(new (std::nothrow) platform::Event(true, false));
  monitorEnded_.reset(new (std::nothrow) platform::Event(true, false));
  if (!QuitEvent || !monitorEnded_) {
    platform::SetLastError(ENOMEM);
    return Fail(u"CreateEvent(): failed.");
  }
  audio::WaveIO* audio = Transport ? Transport->GetAudioIO() : nullptr;
  if (!MonitorMain && audio) {
    Monitor.reset(new view::MonitorThread(*this, *audio));  // tracked: null on failure
    if (!Monitor) {
      platform::SetLastError(ENOMEM);
      return Fail(u"CreateThread(): failed.");
    }
  }
  if (MonitorMain || Monitor) {
    try {
      MonitorThread = std::thread([this] {
        if (MonitorMain)
          MonitorMain(*this);
        else
          Monitor->Run();
        monitorEnded_->Set();
      });
    } catch (const std::system_error& e) {
      platform::SetLastError(e.code().value());
      return Fail(u"CreateThread(): failed.");
    }
  }
  return true;
}

void MainView::Shutdown() {
  if (MonitorThread.joinable()) {
    QuitEvent->Set();
    if (!monitorEnded_->Wait(kMonitorWaitMs))
      std::fputs("Quillon: the monitor thread has not ended; waiting for it.\n", stderr);
    // Freeing the view under a running thread would crash it; waiting longer is the lesser harm.
    MonitorThread.join();
  }
  // Also drops its calls still queued to the UI thread.
  Monitor.reset();
  // The device layer must not write into a meter that is about to go (its
  // Close clears the meter's format); the transport has stopped the device
  // before the view shuts down.
  if (meterAttached_ && Transport) Transport->AttachLevelMeter(nullptr);
  meterAttached_ = false;
  QuitEvent.reset();
  monitorEnded_.reset();
  std::lock_guard lock(TextLock);
  initialised_ = false;
  VolumeIcons.Destroy();
  StatusIcons.Destroy();
  BackBuffer.Free();
  Skin.Free();
}

void MainView::Paint(QPainter& painter) {
  std::lock_guard lock(TextLock);
  if (!BackBuffer.IsNull()) painter.drawImage(0, 0, BackBuffer.Image);
}

QImage MainView::Snapshot() {
  std::lock_guard lock(TextLock);
  return BackBuffer.Image.copy();
}

void MainView::Invalidate(const QRect& rect) { repaints_.HandOver(MainWindow, rect, false); }

void MainView::InvalidateUnlessCovered(const QRect& rect) { repaints_.HandOver(MainWindow, rect, true); }

void MainView::OnShown(std::function<void()> listener) {
  // The meter changes with every buffer, and nothing a watcher reads is in it.
  repaints_.OnShown(std::move(listener), QRegion(ChangedArea(Meter)) + kVasBarArea);
}

QRect MainView::ChangedArea(const SkinControl& control) {
  QRect area = Inclusive(control.Left, control.Top, control.Right, control.Bottom);
  if (const auto* slider = dynamic_cast<const SkinSlider*>(&control); slider && !slider->Plain) {
    // The thumb reaches 3 pixels left of a vertical track and 4 above a horizontal one.
    if (slider->Orientation == Vertical)
      area.setLeft(area.left() - 3);
    else
      area.setTop(area.top() - 4);
  }
  return area;
}

void MainView::RedrawControl(SkinControl& control) {
  std::lock_guard lock(TextLock);
  if (!initialised_) return;
  if (control.Draw(BackBuffer.Image, Skin.Image)) Invalidate(ChangedArea(control));
  if (&control == &Meter && Meter.BarChanged) InvalidateUnlessCovered(kVasBarArea);
}

SkinButton* MainView::ButtonById(int id) {
  const int row = id - kFirstButton;
  return row >= 0 && row < kButtonCount ? &Buttons[row] : nullptr;
}

SkinSlider* MainView::SliderById(int id) {
  const int row = id - kFirstSlider;
  return row >= 0 && row < kSliderCount ? &Sliders[row] : nullptr;
}

bool MainView::PointerDown(int x, int y, int* id) {
  std::lock_guard lock(TextLock);
  *id = 0;
  for (int i = 0; i < kButtonCount; ++i) {
    if (!Buttons[i].HitTest(x, y)) continue;
    ButtonCaptured = 1;
    CapturedButton = i;
    Buttons[i].Press();
    RedrawControl(Buttons[i]);
    *id = Buttons[i].Id;
    return true;
  }
  for (int i = 0; i < kSliderCount; ++i) {
    if (!Sliders[i].HitTest(x, y)) continue;
    SliderCaptured = 1;
    CapturedSlider = i;
    Sliders[i].Press();
    RedrawControl(Sliders[i]);
    *id = Sliders[i].Id;
    return true;
  }
  return false;
}

bool MainView::PointerMove(int x, int y, int* id) {
  std::lock_guard lock(TextLock);
  *id = 0;
  if (ButtonCaptured) {
    SkinButton& button = Buttons[CapturedButton];
    if (button.HitTest(x, y)) {
      // A toggle button toggles once per pen-down, not again on sliding back.
      if (button.Kind != ToggleButton) button.Press();
      RedrawControl(button);
      *id = button.Id;
    } else {
      button.Release();
      RedrawControl(button);
    }
    return true;
  }
  if (SliderCaptured) {
    SkinSlider& slider = Sliders[CapturedSlider];
    if (slider.HitTest(x, y)) {
      slider.Press();
      RedrawControl(slider);
      *id = slider.Id;
    }
    return true;
  }
  return false;
}

bool MainView::PointerUp(int x, int y, int* id) {
  std::lock_guard lock(TextLock);
  *id = 0;
  if (ButtonCaptured) {
    ButtonCaptured = 0;
    SkinButton& button = Buttons[CapturedButton];
    const bool over = button.HitTest(x, y);
    // A press lifted outside sends no command, so a toggle button takes back
    // the switch its pen-down made: it keeps showing what the controller did.
    if (!over && button.Kind == ToggleButton) button.Toggled = button.Toggled ? 0 : 1;
    // Released in any case, so that a pen lifted outside without a move in
    // between doesn't leave the button looking pressed.
    button.Release();
    RedrawControl(button);
    if (!over) return false;
    *id = button.Id;
    return true;
  }
  if (SliderCaptured) {
    SkinSlider& slider = Sliders[CapturedSlider];
    slider.HitTest(x, y);
    slider.Release();
    RedrawControl(slider);
    SliderCaptured = 0;
    *id = slider.Id;
    return true;
  }
  return false;
}

void MainView::SetSliderPercent(int sliderId, int percent) {
  SkinSlider* slider = SliderById(sliderId);
  if (!slider) return;
  std::lock_guard lock(TextLock);
  slider->SetPercent(percent);
  RedrawControl(*slider);
}

int MainView::SliderPercent(int sliderId) {
  SkinSlider* slider = SliderById(sliderId);
  if (!slider) return 0;
  std::lock_guard lock(TextLock);
  return slider->SliderPercent();
}

void MainView::SetVasThreshold(int percent) {
  std::lock_guard lock(TextLock);
  Meter.Threshold = static_cast<uint16_t>(percent);
  RedrawControl(Meter);
}

void MainView::DrawAreaText(TextArea area, const char16_t* text, int left, int top, int right, int bottom) {
  if (!text) return;
  const int points = area == TextArea::Time ? 15 : 10;
  std::lock_guard lock(TextLock);
  // The monitor shows the time with every buffer while it changes once a
  // second; nothing else draws over a text area, so the same text is kept.
  std::u16string& shown = shownText_[static_cast<int>(area)];
  if (!initialised_ || shown == text) return;
  shown = text;
  DrawSkinText(text, left, top, right, bottom, points, kTextWeight);
}

void MainView::ShowFileName(const char16_t* text) { DrawAreaText(TextArea::FileName, text, 45, 4, 147, 20); }
void MainView::ShowLength(const char16_t* text) { DrawAreaText(TextArea::Length, text, 148, 4, 210, 20); }
void MainView::ShowTime(const char16_t* text) { DrawAreaText(TextArea::Time, text, 33, 33, 115, 52); }
void MainView::ShowFormat(const char16_t* text) {
  if (!text) return;
  std::lock_guard lock(TextLock);
  formatText_ = text;
  DrawFormatArea();
}

void MainView::ShowSpeed(const char16_t* text) {
  if (!text) return;
  std::lock_guard lock(TextLock);
  speedText_ = text;
  DrawFormatArea();
}

void MainView::DrawFormatArea() {
  std::u16string text = formatText_;
  if (!speedText_.empty()) {
    text.resize(std::min(text.find(u' '), text.size()));
    text += (text.empty() ? u"" : u" ") + speedText_;
  }
  DrawAreaText(TextArea::Format, text.c_str(), 131, 25, 215, 41);
}
void MainView::ShowStorage(const char16_t* text) { DrawAreaText(TextArea::Storage, text, 131, 40, 215, 54); }

std::u16string MainView::ShownText(TextArea area) {
  std::lock_guard lock(TextLock);
  return area < TextArea::Count ? shownText_[static_cast<int>(area)] : std::u16string();
}

int MainView::ShownStatusIcon() {
  std::lock_guard lock(TextLock);
  return shownStatusIcon_;
}

int MainView::ShownVolumeIcon() {
  std::lock_guard lock(TextLock);
  return shownVolumeIcon_;
}

void MainView::SetButtonToggled(int buttonId, bool on) {
  SkinButton* button = ButtonById(buttonId);
  if (!button) return;
  std::lock_guard lock(TextLock);
  button->SetToggled(on);
  RedrawControl(*button);
}

void MainView::EnableButton(int buttonId, bool on) {
  SkinButton* button = ButtonById(buttonId);
  if (!button) return;
  std::lock_guard lock(TextLock);
  button->Enabled = on ? 1 : 0;
  if (!initialised_) return;
  button->DrawEnabledState(BackBuffer.Image, Skin.Image);
  // Enabled again, the button shows its face (Play's ▶ or ❚❚, a toggled
  // VAS), not the bare skin beneath it.
  if (on) {
    button->Dirty = 1;
    button->Draw(BackBuffer.Image, Skin.Image);
  }
  Invalidate(ChangedArea(*button));
}

void MainView::SetButtonFace(int buttonId, int face) {
  SkinButton* button = ButtonById(buttonId);
  if (!button) return;
  std::lock_guard lock(TextLock);
  button->Face = face;
  button->Dirty = 1;
  RedrawControl(*button);
}

void MainView::ShowVolumeIcon(int index) {
  std::lock_guard lock(TextLock);
  if (!initialised_) return;
  shownVolumeIcon_ = index;
  VolumeIcons.Draw(BackBuffer.Image, index, kVolumeIconX, kVolumeIconY);
  Invalidate(QRect(kVolumeIconX, kVolumeIconY, kVolumeIconSize, kVolumeIconSize));
}

void MainView::ShowStatusIcon(int index) {
  std::lock_guard lock(TextLock);
  if (!initialised_) return;
  CopyRect(BackBuffer.Image, kStatusIconX, kStatusIconY, Skin.Image, kStatusIconX, kStatusIconY,
           kStatusIconSize, kStatusIconSize);
  shownStatusIcon_ = index;
  StatusIcons.Draw(BackBuffer.Image, index, kStatusIconX, kStatusIconY);
  Invalidate(QRect(kStatusIconX, kStatusIconY, kStatusIconSize, kStatusIconSize));
}

void MainView::DrawSkinText(const char16_t* text, int left, int top, int right, int bottom,
                            int points, int weight) {
  if (!text) return;
  std::lock_guard lock(TextLock);
  if (!initialised_) return;
  const QRect restored = Inclusive(left, top, right, bottom);
  CopyRect(BackBuffer.Image, left, top, Skin.Image, left, top, restored.width(), restored.height());
  {
    QPainter painter(&BackBuffer.Image);
    painter.setFont(CreateSkinFont(QStringLiteral("Arial"), points, weight));
    painter.setPen(QColor(0, 0, 0));
    painter.setBackgroundMode(Qt::TransparentMode);
    const QRect area(left, top, right - left, bottom - top);
    painter.setClipRect(area);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine,
                     QString::fromUtf16(text));
  }
  Invalidate(restored);
}

}  // namespace view
