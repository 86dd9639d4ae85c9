#pragma once
// WaveIO on the virtual waveform device with its clock stepped by hand, and
// the fields its owner hands over (the audio and monitor suites share it).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/app_flags.h"
#include "audio/format_presets.h"
#include "audio/wave_io.h"
#include "platform/virtual_wave_device.h"
#include "settings/settings_record.h"
#include "wave_test_files.h"

namespace audiotest {

class WaveIOTest : public ::testing::Test {
 protected:
  void SetUp() override { Renew(); }
  // A fresh device, stepped by hand, and a WaveIO on its clock (also for
  // each case of a table).
  void Renew() {
    io_.reset();
    device_ = platform::VirtualWaveDevice::Install();
    device_->Clock().RunManually();
    io_ = std::make_unique<audio::WaveIO>();
    io_->TickSource = [device = device_.get()] { return static_cast<uint32_t>(device->Clock().NowMicros() / 1000); };
  }
  void TearDown() override {
    io_.reset();
    audio::VasEnabled = 0;
    audio::RecordingActive = 0;
    platform::InstallWaveBackend(nullptr);
  }
  // Hands over the stream and the owner's fields (the meter unless a view's
  // is attached); a close takes them back.
  void Attach(audio::IAudioStream* stream) {
    io_->Stream = stream;
    io_->DeviceId = &deviceId_;
    io_->FormatSlot = &deviceFormat_;
    if (io_->LevelMeter == nullptr) io_->LevelMeter = &meter_;
    io_->Settings = &settings_;
  }
  std::string Recorded(const std::string& name, uint32_t formatId, const Bytes& bytes) {
    EXPECT_TRUE(Record(dir_.File(name), formatId, bytes));
    return dir_.File(name);
  }
  void StartPlaying(audio::WaveFileStream& stream, const std::string& path) {
    ASSERT_TRUE(stream.Open(HostPath(path), audio::kStreamRead));
    Attach(&stream);
    ASSERT_TRUE(io_->Open(audio::WaveDirection::Output));
    ASSERT_TRUE(io_->StartPlayback());
  }
  void StartRecordingTo(audio::IAudioStream& stream, uint32_t formatId) {
    stream.SetFormat(formatId);
    ASSERT_TRUE(stream.Open(HostPath(rec_), audio::kStreamWrite));
    Attach(&stream);
    audio::RecordingActive = 1;
    ASSERT_TRUE(io_->Open(audio::WaveDirection::Input));
    ASSERT_TRUE(io_->StartRecording(nullptr));
  }
  // After each step the level counts as drawn, so the next buffer is measured on its own.
  void StepMs(double ms, int times = 1) {
    for (int i = 0; i < times; ++i) {
      ASSERT_TRUE(device_->StepMs(ms));
      meter_.Dirty = false;
    }
  }
  void Finish(audio::IAudioStream& stream) {
    EXPECT_TRUE(io_->Close());
    stream.Close();
  }
  // The steps taken until StopEvent, or -1.
  int StepUntilStop(double stepMs) {
    for (int i = 1; i <= 2000 && device_->StepMs(stepMs); ++i)
      if (io_->StopEvent.IsSet()) return i;
    return -1;
  }
  Bytes Captured(size_t index = 0) const {
    auto captures = device_->Captures();
    return index < captures.size() ? captures[index].bytes : Bytes{};
  }
  static Bytes ReadForward(const std::string& path) {
    audio::WaveFileStream stream;
    EXPECT_TRUE(stream.Open(HostPath(path), audio::kStreamRead));
    return ReadAll(stream, audio::kReadForward);
  }
  // Bytes numbered so that any 640-byte block can be told from any other.
  static Bytes Numbered(size_t bytes) {
    Bytes out(bytes);
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>((i / 2) * 131 + (i / 640) * 7 + (i & 1) * 29);
    return out;
  }
  // Plays a PCM file of `blocks` numbered 640-byte blocks (40 ms each).
  void PlayNumbered(size_t blocks) {
    file_ = Numbered(640 * blocks);
    StartPlaying(stream_, Recorded("numbered.wav", audio::kFormatPcm8k16, file_));
  }
  Bytes Blocks(size_t first, size_t count = 1) const { return Range(file_, first * 640, (first + count) * 640); }

  TempDir dir_;
  const std::string rec_ = dir_.File("rec.wav");
  std::shared_ptr<platform::VirtualWaveDevice> device_;
  uint32_t deviceId_ = platform::kWaveMapper;
  const audio::WaveFormatEx* deviceFormat_ = nullptr;
  audio::MeterState meter_;
  settings::SettingsRecord settings_{};
  audio::WaveFileStream stream_;  // outlives the device layer
  std::unique_ptr<audio::WaveIO> io_;
  Bytes file_;
};

}  // namespace audiotest
