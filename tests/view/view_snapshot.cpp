// Renders the main view as the program starts it, with sample texts, to a
// PNG: view_snapshot OUT.png. For looking at the skin and the text layout.
#include <cstdio>

#include <QApplication>

#include "audio/app_flags.h"
#include "view/main_view.h"
#include "view/time_text.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: view_snapshot OUT.png [level]\n");
    return 2;
  }
  QApplication app(argc, argv);
  view::MainView view(nullptr, nullptr);
  if (!view.Init()) return 1;
  view.Buttons[0].LoadButtonFaces(172, 167, 0, 0);
  view.Buttons[1].LoadButtonFaces(170, 171, 168, 169);
  view.SetSliderPercent(view::kVolumeSlider, 70);
  view.SetSliderPercent(view::kPositionSlider, 35);
  view.SetSliderPercent(view::kThresholdSlider, 30);
  view.ShowVolumeIcon(2);
  view.ShowStatusIcon(1);
  view.ShowFileName(u"Recording00");
  view.ShowLength(u"(00:01:23)");
  view.ShowTime(view::FormatTime(29).c_str());
  view.ShowFormat(u"GSM (WAV)");
  view.ShowStorage(u"Main Memory");
  view.SetButtonFace(view::kPlayButton, view::FaceActive);
  view.EnableButton(view::kPreviousButton, false);
  if (argc > 2) {
    // A level on the meter and the VAS bar.
    static const audio::WaveFormatEx mono = {1, 1, 8000, 16000, 2, 16, 0};
    audio::VasEnabled = 1;
    view.SetButtonToggled(view::kVasButton, true);
    view.Meter.MeterFormat = &mono;
    view.Meter.Enabled = 1;
    view.Meter.Level = static_cast<uint16_t>(std::atoi(argv[2]));
    view.Meter.Dirty = true;
    view.RedrawControl(view.Meter);
  }
  return view.Snapshot().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
