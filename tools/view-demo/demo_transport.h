#pragma once
// Just enough of a transport to keep the view busy: it plays one file
// through the device object and starts it again each time it runs out.

#include <string>

#include "audio/wave_file_stream.h"
#include "audio/wave_io.h"
#include "settings/settings_record.h"
#include "view/view_transport.h"

namespace demo {

class DemoTransport : public view::ViewTransport {
 public:
  ~DemoTransport() override;

  void AttachView(view::MainView* view) override { view_ = view; }
  void AttachLevelMeter(audio::MeterState* meter) override { AudioIO.LevelMeter = meter; }
  audio::WaveIO* GetAudioIO() override { return &AudioIO; }
  // Repeats the file, as the "repeat one record" play mode does.
  void OnPlaybackEnd() override;

  // Opens the file and starts it; false with a message on stderr.
  bool Play(const std::u16string& path);

  settings::SettingsRecord Settings{};
  audio::WaveIO AudioIO;

 private:
  view::MainView* view_ = nullptr;
  std::u16string path_;
  audio::WaveFileStream stream_;
  uint32_t deviceId_ = 0xFFFFFFFFu;  // the default device
  const audio::WaveFormatEx* deviceFormat_ = nullptr;
};

// Writes `seconds` of a voice-like signal (syllables of a swelling tone) as
// 8000 Hz 16-bit PCM; false when the file cannot be written.
bool WriteSpeechLikeFile(const std::u16string& path, int seconds);

}  // namespace demo
