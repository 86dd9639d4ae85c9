// The output level as the device layer applies it, on the virtual backend.
// What WaveIO's tests drive end to end is not repeated here.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <memory>
#include <vector>

#include "platform/virtual_wave_device.h"
#include "platform/wave_backend.h"
#include "platform/wave_device.h"

namespace platform {
namespace {

class VirtualWaveDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = VirtualWaveDevice::Install();
    device_->Clock().RunManually();
  }
  void TearDown() override {
    out_.reset();
    InstallWaveBackend(nullptr);
  }
  // Plays `bytes` to their end on a new device and returns what was heard.
  std::vector<char> Play(const WaveFormat& format, std::vector<char> bytes) {
    EXPECT_EQ(WaveOutDevice::Open(out_, kWaveMapper, format, nullptr, 0), kWaveOk);
    WaveHeader h{bytes.data(), static_cast<uint32_t>(bytes.size())};
    EXPECT_TRUE(out_->Prepare(&h) == kWaveOk && out_->Write(&h) == kWaveOk && device_->StepMs(10));
    EXPECT_EQ(out_->Close(), kWaveOk);
    const auto capture = device_->LastCapture();
    return {capture.bytes.begin(), capture.bytes.end()};
  }
  std::shared_ptr<VirtualWaveDevice> device_;
  std::unique_ptr<WaveOutDevice> out_;
};

// The level applies per channel, around the midpoint for 8 bits, and belongs
// to the output rather than to one opening of it.
TEST_F(VirtualWaveDeviceTest, VolumeScalesEachChannelAndOutlivesTheDevice) {
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 16, 2), nullptr, 0), kWaveOk);
  const uint32_t volume = 0x4000u << 16 | 0x8000u;  // right a quarter, left a half
  ASSERT_EQ(out_->SetVolume(volume), kWaveOk);
  ASSERT_EQ(out_->Close(), kWaveOk);
  const int16_t samples[8] = {32767, -32768, 1000, -1000, -2, 2, 0, 12345};
  const int16_t expected[8] = {16383, -8192, 500, -250, -1, 0, 0, 3086};
  const auto* raw = reinterpret_cast<const char*>(samples);
  const std::vector<char> heard = Play(MakePcmFormat(8000, 16, 2), std::vector<char>(raw, raw + sizeof samples));
  ASSERT_EQ(heard.size(), sizeof expected);
  EXPECT_EQ(0, std::memcmp(heard.data(), expected, sizeof expected));

  uint32_t read = 0;
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 8, 1), nullptr, 0), kWaveOk);
  ASSERT_EQ(out_->GetVolume(&read), kWaveOk);
  EXPECT_EQ(read, volume);
  ASSERT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(Play(MakePcmFormat(8000, 8, 1), std::vector<char>(80, '\xff')), std::vector<char>(80, '\xbf'));
  EXPECT_EQ(Play(MakePcmFormat(8000, 8, 1), {'\x00', '\x80'}), (std::vector<char>{'\x40', '\x80'}));
}

// A device left playing keeps only the first bytes and buffers of each
// opening and only the last openings, counting all it played: a day of
// playback costs no more memory than a minute.
TEST_F(VirtualWaveDeviceTest, WhatIsKeptOfThePlaybackIsBoundedAndTheTotalsCountAll) {
  device_->SetCaptureLimits({.bytes = 1000, .buffers = 3, .captures = 2});
  const WaveFormat format = MakePcmFormat(8000, 16, 1);
  std::vector<uint8_t> block(640);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  for (int opening = 0; opening < 3; ++opening) {
    ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, format, nullptr, 0), kWaveOk);
    ASSERT_EQ(out_->SetVolume(0xFFFFFFFFu), kWaveOk);
    std::vector<WaveHeader> headers(5, WaveHeader{reinterpret_cast<char*>(block.data()), static_cast<uint32_t>(block.size())});
    for (WaveHeader& h : headers) ASSERT_TRUE(out_->Prepare(&h) == kWaveOk && out_->Write(&h) == kWaveOk);
    ASSERT_TRUE(device_->StepMs(5 * 40 + 10));
    ASSERT_EQ(out_->Close(), kWaveOk);
  }
  EXPECT_EQ(device_->OutputOpens(), 3);
  const auto captures = device_->Captures();
  ASSERT_EQ(captures.size(), 2u) << "the oldest opening is let go";
  for (const auto& capture : captures) {
    EXPECT_EQ(capture.playedBytes, 5u * 640);
    EXPECT_EQ(capture.playedBuffers, 5u);
    ASSERT_EQ(capture.bytes.size(), 1000u);
    EXPECT_TRUE(std::equal(capture.bytes.begin(), capture.bytes.begin() + 640, block.begin()));
    EXPECT_TRUE(std::equal(capture.bytes.begin() + 640, capture.bytes.end(), block.begin()));
    ASSERT_EQ(capture.buffers.size(), 3u);
    EXPECT_EQ(capture.buffers[2].endOffset, 3u * 640);
  }
  // The backend a program runs on (QUILLON_WAVE_BACKEND=virtual) keeps nothing.
  const auto program = std::static_pointer_cast<VirtualWaveDevice>(MakeWaveBackend("virtual:100"));
  InstallWaveBackend(program);
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, format, nullptr, 0), kWaveOk);
  WaveHeader h{reinterpret_cast<char*>(block.data()), static_cast<uint32_t>(block.size())};
  ASSERT_TRUE(out_->Prepare(&h) == kWaveOk && out_->Write(&h) == kWaveOk);
  for (int i = 0; i < 200 && program->LastCapture().playedBytes < block.size(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(program->LastCapture().playedBytes, block.size());
  EXPECT_TRUE(program->LastCapture().bytes.empty());
}

}  // namespace
}  // namespace platform
