#include "demo_transport.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "audio/format_presets.h"
#include "view/main_view.h"
#include "view/time_text.h"

namespace demo {

DemoTransport::~DemoTransport() {
  AudioIO.Close();
  stream_.Close();
}

bool DemoTransport::Play(const std::u16string& path) {
  AudioIO.Close();
  stream_.Close();
  path_ = path;
  if (!stream_.Open(path, audio::kStreamRead)) {
    std::fputs("quillon-view-demo: cannot open the generated recording\n", stderr);
    return false;
  }
  AudioIO.Stream = &stream_;
  AudioIO.DeviceId = &deviceId_;
  AudioIO.FormatSlot = &deviceFormat_;
  AudioIO.Settings = &Settings;
  if (!AudioIO.Open(audio::WaveDirection::Output) || !AudioIO.StartPlayback()) {
    const char16_t* text = AudioIO.GetErrorText();
    std::fprintf(stderr, "quillon-view-demo: the output device did not start%s%s\n", text ? ": " : "",
                 text ? std::string(text, text + std::char_traits<char16_t>::length(text)).c_str() : "");
    AudioIO.Close();
    return false;
  }
  if (view_) view_->ShowLength(view::FormatTimeParen(stream_.GetLengthSeconds()).c_str());
  return true;
}

void DemoTransport::OnPlaybackEnd() {
  if (view_) view_->ShowTime(u"00:00:00");
  Play(path_);
}

bool WriteSpeechLikeFile(const std::u16string& path, int seconds) {
  constexpr int kRate = 8000;
  std::vector<int16_t> samples(static_cast<size_t>(kRate) * seconds);
  for (size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    // Syllables of about a quarter second, louder and softer in turn, over a
    // slow swell, with short pauses between words.
    const double syllable = std::pow(std::sin(std::numbers::pi * std::fmod(t, 0.26) / 0.26), 2);
    const double word = std::fmod(t, 1.3) < 1.05 ? 1.0 : 0.0;
    const double swell = 0.55 + 0.45 * std::sin(2 * std::numbers::pi * t / 3.1);
    const double voice = 0.6 * std::sin(2 * std::numbers::pi * 180 * t) + 0.3 * std::sin(2 * std::numbers::pi * 360 * t) +
                         0.1 * std::sin(2 * std::numbers::pi * 540 * t);
    samples[i] = static_cast<int16_t>(30000 * syllable * word * swell * voice);
  }
  audio::WaveFileStream out;
  out.SetFormat(audio::kFormatPcm8k16);
  if (!out.Open(path, audio::kStreamWrite)) return false;
  const bool written = out.Write(samples.data(), static_cast<uint32_t>(samples.size()));
  return out.Close() && written;
}

}  // namespace demo
