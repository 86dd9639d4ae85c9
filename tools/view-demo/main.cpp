// quillon-view-demo: the skinned main view in a 240 x 294 window titled
// "Quillon", playing a generated recording so that the meter, the time and
// the position move. Sound goes to the virtual device unless
// QUILLON_WAVE_BACKEND says otherwise.
//
//   quillon-view-demo [--seconds N]     quit after N seconds (default: run until closed)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "audio/app_flags.h"
#include "demo_menu_bar.h"
#include "demo_transport.h"
#include "diag/tracker.h"
#include "view/main_view.h"
#include "view/skin_view_widget.h"

namespace {

constexpr int kClientWidth = 240;
constexpr int kClientHeight = 294;
constexpr int kRecordingSeconds = 12;

// The state the transport shows while a file plays.
void ShowPlaying(view::MainView& view) {
  view.Buttons[0].LoadButtonFaces(172, 167, 0, 0);
  view.Buttons[1].LoadButtonFaces(170, 171, 168, 169);
  view.SetSliderPercent(view::kVolumeSlider, 70);
  view.ShowVolumeIcon(2);
  view.SetVasThreshold(30);
  view.SetSliderPercent(view::kThresholdSlider, 30);
  view.ShowFileName(u"Recording03");
  view.ShowFormat(u"PCM (WAV)");
  view.ShowStorage(u"Main Memory");
  view.ShowTime(u"00:00:00");
  view.ShowStatusIcon(1);
  view.SetButtonFace(view::kPlayButton, view::FaceActive);
  view.EnableButton(view::kVasButton, false);
}

}  // namespace

int main(int argc, char** argv) {
  diag::InstallLeakReportAtExit();
  int seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: quillon-view-demo [--seconds N]\n");
      return 2;
    }
  }
  // A preview needs no sound card.
  setenv("QUILLON_WAVE_BACKEND", "virtual", 0);
  QApplication app(argc, argv);

  QTemporaryDir dir;
  const std::u16string path = QDir(dir.path()).filePath(QStringLiteral("Recording03.wav")).toStdU16String();
  if (!dir.isValid() || !demo::WriteSpeechLikeFile(path, kRecordingSeconds)) {
    std::fputs("quillon-view-demo: cannot write the recording to play\n", stderr);
    return 1;
  }

  QWidget window;
  window.setWindowTitle(QStringLiteral("Quillon"));
  window.setFixedSize(kClientWidth, kClientHeight);
  auto* skin = new view::SkinViewWidget(&window);
  skin->move(0, 0);
  auto* menuBar = new demo::DemoMenuBar(&window);
  menuBar->move(0, kClientHeight - demo::DemoMenuBar::kHeight);

  demo::DemoTransport transport;
  int result = 1;
  {
    view::MainView view(skin, &transport);
    view.Meter.Settings = &transport.Settings;
    if (!view.Init()) return 1;
    skin->SetView(&view);
    ShowPlaying(view);
    window.show();
    if (transport.Play(path)) {
      if (seconds > 0) QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
      result = app.exec();
    }
    // The device stops before the view and its monitor go.
    transport.AudioIO.Close();
    skin->SetView(nullptr);
  }
  return result;
}
