// The device layer over the sound-server backend, against a private
// PulseAudio daemon whose pipes are the microphones and speakers: what is
// played is heard exactly (with the output level applied as on the other
// backends), each source records exactly what it was fed, the default is
// followed, a chosen device is never swapped, and the lists follow devices
// that come and go. Skips only where pulseaudio is not installed.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/pulse_wave_device.h"
#include "platform/wave_device.h"
#include "platform/wave_route.h"
#include "support/pulse_server.h"

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::PulseServer;

Bytes Numbered(size_t samples, uint32_t seed) { return testsupport::NumberedSamples(samples, seed); }

template <typename F>
bool WaitFor(F done, int ms = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class PulseWaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<PulseServer>(std::vector<PulseServer::Pipe>{
        {"mic_a", "Built-in Audio Analog Stereo", true},
        {"mic_b", "USB Headset Mono", true},
        {"spk16", "Speakers", false, "s16le", 2},
        {"spk8", "Headphones", false, "u8", 1},
    });
    if (!server_->Ok()) GTEST_SKIP() << server_->Why();
    ASSERT_EQ(server_->Pactl("set-default-source mic_a"), 0);
    ASSERT_EQ(server_->Pactl("set-default-sink spk16"), 0);
    backend_ = PulseWaveDevice::Connect();
    ASSERT_NE(backend_, nullptr) << "the backend does not reach the server";
    InstallWaveBackend(backend_);
  }
  void TearDown() override {
    in_.reset();
    out_.reset();
    InstallWaveBackend(nullptr);
    backend_.reset();
    SetWaveRoute(true, {});
    SetWaveRoute(false, {});
    server_.reset();
  }

  // Plays the bytes to their end on `sink`: whether it heard `want` and
  // nothing else (the sink plays silence when there is nothing to play).
  bool Play(const std::string& sink, const WaveFormat& format, Bytes bytes, const Bytes& want, uint8_t silence) {
    SetWaveRoute(false, {sink, "", "test tone"});
    server_->Take(sink);
    EXPECT_EQ(WaveOutDevice::Open(out_, kWaveMapper, format, nullptr, 0), kWaveOk);
    if (!out_) return false;
    WaveHeader h{reinterpret_cast<char*>(bytes.data()), static_cast<uint32_t>(bytes.size())};
    EXPECT_TRUE(out_->Prepare(&h) == kWaveOk && out_->Write(&h) == kWaveOk);
    EXPECT_TRUE(WaitFor([&] { return out_->HeaderFlags(&h) & kWaveHeaderDone; }));
    EXPECT_EQ(out_->Close(), kWaveOk);  // lets what was written be heard
    out_.reset();
    return WaitFor([&] { return testsupport::HeardExactly(server_->Heard(sink), want, silence); }, 3000);
  }

  // Records from the route's device while `feed` runs, into buffers of 640
  // bytes that are requeued as they come back; returns the bytes recorded.
  struct Recorder {
    std::mutex mutex;
    Bytes bytes;
    std::vector<std::vector<char>> blocks = std::vector<std::vector<char>>(3, std::vector<char>(640));
    WaveHeader headers[3];
    WaveResult requeue = kWaveOk;
    std::atomic<bool> stopping{false};
    std::atomic<int> together{0};  // buffers that came back with more right behind them
  };
  static void OnInput(WaveInDevice* device, uint32_t message, uintptr_t instance, WaveHeader* header) {
    if (message != kWaveInData) return;
    auto* r = reinterpret_cast<Recorder*>(instance);
    if (device->MoreDone()) ++r->together;
    {
      std::lock_guard<std::mutex> lock(r->mutex);
      r->bytes.insert(r->bytes.end(), header->data, header->data + header->bytesRecorded);
    }
    if (r->stopping) return;
    header->flags &= kWaveHeaderPrepared;
    const WaveResult q = device->AddBuffer(header);
    if (q != kWaveOk) {
      std::lock_guard<std::mutex> lock(r->mutex);
      r->requeue = q;
    }
  }
  WaveResult StartRecording(Recorder& r) {
    const WaveResult opened =
        WaveInDevice::Open(in_, kWaveMapper, MakePcmFormat(8000, 16, 1), &OnInput, reinterpret_cast<uintptr_t>(&r));
    if (opened != kWaveOk) return opened;
    for (int i = 0; i < 3; ++i) {
      r.headers[i] = WaveHeader{r.blocks[i].data(), 640};
      if (WaveResult e = in_->Prepare(&r.headers[i])) return e;
      if (WaveResult e = in_->AddBuffer(&r.headers[i])) return e;
    }
    return in_->Start();
  }
  Bytes StopRecording(Recorder& r) {
    EXPECT_EQ(in_->Stop(), kWaveOk);
    r.stopping = true;
    EXPECT_EQ(in_->Reset(), kWaveOk);
    EXPECT_EQ(in_->Close(), kWaveOk);
    in_.reset();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.bytes;
  }

  std::unique_ptr<PulseServer> server_;
  std::shared_ptr<PulseWaveDevice> backend_;
  std::unique_ptr<WaveOutDevice> out_;
  std::unique_ptr<WaveInDevice> in_;
};

// The output level as the device layer applies it (the virtual device's
// test, on a real server): per channel, around the midpoint for 8 bits,
// belonging to the output rather than to one opening of it.
TEST_F(PulseWaveTest, VolumeScalesEachChannelAndOutlivesTheDevice) {
  SetWaveRoute(false, {"spk16", "", "level"});
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 16, 2), nullptr, 0), kWaveOk);
  const uint32_t volume = 0x4000u << 16 | 0x8000u;  // right a quarter, left a half
  ASSERT_EQ(out_->SetVolume(volume), kWaveOk);
  ASSERT_EQ(out_->Close(), kWaveOk);
  out_.reset();
  const int16_t samples[8] = {32767, -32768, 1000, -1000, -2, 2, 0, 12345};
  const int16_t expected[8] = {16383, -8192, 500, -250, -1, 0, 0, 3086};
  const auto* raw = reinterpret_cast<const uint8_t*>(samples);
  const auto* want = reinterpret_cast<const uint8_t*>(expected);
  // Long enough to start the server's playback on its own.
  Bytes tone, heardWant;
  for (int i = 0; i < 400; ++i) {
    tone.insert(tone.end(), raw, raw + sizeof samples);
    heardWant.insert(heardWant.end(), want, want + sizeof expected);
  }
  EXPECT_TRUE(Play("spk16", MakePcmFormat(8000, 16, 2), tone, heardWant, 0));

  uint32_t read = 0;
  SetWaveRoute(false, {"spk8", "", "level"});
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 8, 1), nullptr, 0), kWaveOk);
  ASSERT_EQ(out_->GetVolume(&read), kWaveOk);
  EXPECT_EQ(read, volume);
  ASSERT_EQ(out_->Close(), kWaveOk);
  out_.reset();
  EXPECT_TRUE(Play("spk8", MakePcmFormat(8000, 8, 1), Bytes(800, 0xff), Bytes(800, 0xbf), 0x80));
  Bytes pairs, pairsWant;
  for (int i = 0; i < 400; ++i) {
    pairs.insert(pairs.end(), {0x00, 0x80});
    pairsWant.insert(pairsWant.end(), {0x40, 0x80});
  }
  EXPECT_TRUE(Play("spk8", MakePcmFormat(8000, 8, 1), pairs, pairsWant, 0x80));
}

// Buffers come back one by one, in order, each whole; what is heard is
// their bytes in that order.
TEST_F(PulseWaveTest, PlayedBuffersReturnInOrderAndAreHeardWhole) {
  SetWaveRoute(false, {"spk16", "", "buffers"});
  struct Seen {
    std::mutex mutex;
    std::vector<WaveHeader*> order;
  } seen;
  auto callback = [&seen](WaveOutDevice*, uint32_t message, uintptr_t, WaveHeader* h) {
    if (message != kWaveOutDone) return;
    std::lock_guard<std::mutex> lock(seen.mutex);
    seen.order.push_back(h);
  };
  server_->Take("spk16");
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 16, 2), callback, 0), kWaveOk);
  const Bytes all = Numbered(5 * 1600, 7);  // five buffers of 0.1 s
  std::vector<Bytes> blocks;
  WaveHeader headers[5];
  for (int i = 0; i < 5; ++i) blocks.emplace_back(all.begin() + i * 3200, all.begin() + (i + 1) * 3200);
  for (int i = 0; i < 5; ++i) {
    headers[i] = WaveHeader{reinterpret_cast<char*>(blocks[i].data()), 3200};
    ASSERT_EQ(out_->Prepare(&headers[i]), kWaveOk);
    ASSERT_EQ(out_->Write(&headers[i]), kWaveOk);
  }
  const auto done = [&] {
    std::lock_guard<std::mutex> lock(seen.mutex);
    return seen.order.size();
  };
  // Paused on the way, nothing more is taken; restarted, it goes on where it
  // stood, without a gap in what is heard or a part heard twice.
  ASSERT_TRUE(WaitFor([&] { return done() >= 1; }));
  ASSERT_EQ(out_->Pause(), kWaveOk);
  const size_t atPause = done();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(done(), atPause) << "buffers completed while paused";
  EXPECT_LT(atPause, 5u);
  ASSERT_EQ(out_->Restart(), kWaveOk);
  ASSERT_TRUE(WaitFor([&] { return done() == 5; }));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(seen.order[i], &headers[i]);
  EXPECT_EQ(out_->Close(), kWaveOk);
  out_.reset();
  // The speaker played silence while paused: taken out, the rest is the
  // samples exactly (they hold no run of 64 zero bytes of their own).
  const auto withoutPauses = [](const Bytes& heard) {
    Bytes kept;
    for (size_t i = 0; i < heard.size();) {
      size_t run = 0;
      while (i + run < heard.size() && heard[i + run] == 0) ++run;
      if (run >= 64) {
        i += run;
        continue;
      }
      kept.insert(kept.end(), heard.begin() + i, heard.begin() + i + std::max<size_t>(run, 1));
      i += std::max<size_t>(run, 1);
    }
    return kept;
  };
  EXPECT_TRUE(WaitFor([&] { return withoutPauses(server_->Heard("spk16")) == all; }, 3000));
}

// Each source records exactly what it was fed, chosen by its id; with no
// device chosen the recording follows the desktop's default as it changes.
TEST_F(PulseWaveTest, EachSourceGivesExactlyItsContentAndTheDefaultIsFollowed) {
  const Bytes a = Numbered(8000, 1), b = Numbered(8000, 2);  // a second each
  for (const auto& [device, content] : {std::pair{"mic_a", a}, std::pair{"mic_b", b}}) {
    SCOPED_TRACE(device);
    SetWaveRoute(true, {device, "", "Recording00"});
    Recorder r;
    ASSERT_EQ(StartRecording(r), kWaveOk);
    server_->Feed(device, content);
    server_->Fed();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The server's input reaches the buffers in runs, and the callback can
    // tell: those after the first of a run come right behind it. (Counted
    // before the stop, whose reset returns what is queued together too.)
    EXPECT_GT(r.together.load(), 0);
    EXPECT_EQ(StopRecording(r), content);
  }

  SetWaveRoute(true, {"", "", "Recording01"});
  Recorder r;
  ASSERT_EQ(StartRecording(r), kWaveOk);
  server_->Feed("mic_a", a);
  server_->Fed();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(server_->Pactl("set-default-source mic_b"), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  server_->Feed("mic_a", Numbered(4000, 3));  // no longer the default: not recorded
  server_->Feed("mic_b", b);
  server_->Fed();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Bytes both = a;
  both.insert(both.end(), b.begin(), b.end());
  EXPECT_EQ(StopRecording(r), both);
}

// A chosen source that is unloaded mid-recording: everything fed before
// has come back in the buffers, then the device refuses more with
// kWaveDeviceGone. A chosen device that is not there fails to open.
TEST_F(PulseWaveTest, AChosenSourceThatGoesEndsTheCaptureAndOneMissingDoesNotOpen) {
  SetWaveRoute(true, {"mic_b", "USB Headset Mono", "Recording02"});
  Recorder r;
  ASSERT_EQ(StartRecording(r), kWaveOk);
  const Bytes before = Numbered(6000, 4);
  server_->Feed("mic_b", before);
  server_->Fed();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(server_->Unload("mic_b"));
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.requeue == kWaveDeviceGone;
  }));
  EXPECT_EQ(in_->Failure(), kWaveDeviceGone);
  EXPECT_EQ(StopRecording(r), before);

  // The stream ends with the source; the server's list drops it a moment later.
  ASSERT_TRUE(WaitFor([&] {
    for (const WaveEndpoint& e : backend_->Endpoints(true))
      if (e.id == "mic_b") return false;
    return true;
  }));
  for (const char* id : {"mic_b", "no_such_device"}) {
    SetWaveRoute(true, {id, "USB Headset Mono", "Recording03"});
    EXPECT_EQ(WaveInDevice::Query(kWaveMapper, MakePcmFormat(8000, 16, 1)), kWaveDeviceMissing) << id;
    Recorder missing;
    EXPECT_EQ(StartRecording(missing), kWaveDeviceMissing) << id;
  }
  SetWaveRoute(false, {"no_such_sink", "", "x"});
  EXPECT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 16, 1), nullptr, 0), kWaveDeviceMissing);

  // A speaker that goes while playing hands every queued buffer back and
  // takes no more.
  SetWaveRoute(false, {"spk8", "Headphones", "Speech"});
  server_->Take("spk8");
  std::atomic<int> back{0};
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 8, 1),
                                [&back](WaveOutDevice*, uint32_t message, uintptr_t, WaveHeader*) {
                                  if (message == kWaveOutDone) ++back;
                                },
                                0),
            kWaveOk);
  std::vector<Bytes> blocks(10, Bytes(800, 0x90));  // ten buffers of 0.1 s
  std::vector<WaveHeader> headers(10);
  for (size_t i = 0; i < blocks.size(); ++i) {
    headers[i] = WaveHeader{reinterpret_cast<char*>(blocks[i].data()), 800};
    ASSERT_EQ(out_->Prepare(&headers[i]), kWaveOk);
    ASSERT_EQ(out_->Write(&headers[i]), kWaveOk);
  }
  ASSERT_TRUE(WaitFor([&] { return back >= 1; }));
  ASSERT_TRUE(server_->Unload("spk8"));
  EXPECT_TRUE(WaitFor([&] { return back == 10; })) << back << " of 10 buffers came back";
  WaveHeader more{reinterpret_cast<char*>(blocks[0].data()), 800};
  ASSERT_EQ(out_->Prepare(&more), kWaveOk);
  EXPECT_EQ(out_->Write(&more), kWaveDeviceGone);
  EXPECT_EQ(out_->Close(), kWaveOk);
  out_.reset();
}

// The lists: descriptions, no monitors, the default marked; a device that
// comes or goes reaches the watchers and the lists.
TEST_F(PulseWaveTest, ListsShowDescriptionsAndFollowDevicesThatComeAndGo) {
  auto names = [&](bool input) {
    std::vector<std::string> out;
    for (const WaveEndpoint& e : backend_->Endpoints(input)) out.push_back(e.description + (e.isDefault ? "*" : ""));
    return out;
  };
  EXPECT_EQ(names(true), (std::vector<std::string>{"Built-in Audio Analog Stereo*", "USB Headset Mono"}));
  EXPECT_EQ(names(false), (std::vector<std::string>{"Speakers*", "Headphones"}));

  std::mutex mutex;
  std::condition_variable cv;
  int changes = 0;
  const int token = backend_->WatchEndpoints([&] {
    std::lock_guard<std::mutex> lock(mutex);
    ++changes;
    cv.notify_all();
  });
  auto waitList = [&](bool input, const std::vector<std::string>& want) {
    return WaitFor([&] { return names(input) == want; });
  };
  ASSERT_TRUE(server_->Load({"mic_c", "Webcam Microphone", true}));
  EXPECT_TRUE(waitList(true, {"Built-in Audio Analog Stereo*", "USB Headset Mono", "Webcam Microphone"}));
  ASSERT_EQ(server_->Pactl("set-default-source mic_c"), 0);
  EXPECT_TRUE(waitList(true, {"Built-in Audio Analog Stereo", "USB Headset Mono", "Webcam Microphone*"}));
  ASSERT_TRUE(server_->Unload("spk8"));
  EXPECT_TRUE(waitList(false, {"Speakers*"}));
  {
    std::unique_lock<std::mutex> lock(mutex);
    EXPECT_GE(changes, 3);
  }
  backend_->UnwatchEndpoints(token);
  const int seen = changes;
  ASSERT_TRUE(server_->Load({"mic_d", "Line In", true}));
  EXPECT_TRUE(waitList(true, {"Built-in Audio Analog Stereo", "USB Headset Mono", "Webcam Microphone*", "Line In"}));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(changes, seen) << "no call after Unwatch";
}

// What the desktop's volume control shows: the program's name and icon,
// the stream's own name and a media role.
TEST_F(PulseWaveTest, StreamsCarryTheProgramsNameTheirOwnNameAndARole) {
  SetWaveRoute(true, {"", "", "Recording07"});
  Recorder r;
  ASSERT_EQ(StartRecording(r), kWaveOk);
  SetWaveRoute(false, {"", "", "Speech"});
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, MakePcmFormat(8000, 16, 1), nullptr, 0), kWaveOk);
  std::string outputs, inputs;
  ASSERT_EQ(server_->Pactl("list source-outputs", &outputs), 0);
  ASSERT_EQ(server_->Pactl("list sink-inputs", &inputs), 0);
  for (const char* line : {"media.name = \"Recording07\"", "media.role = \"production\"",
                           "application.name = \"Quillon\"", "application.icon_name = \"quillon\"",
                           "application.id = \"quillon\""}) {
    EXPECT_NE(outputs.find(line), std::string::npos) << line << " in\n" << outputs;
  }
  for (const char* line : {"media.name = \"Speech\"", "media.role = \"music\"", "application.name = \"Quillon\""}) {
    EXPECT_NE(inputs.find(line), std::string::npos) << line << " in\n" << inputs;
  }
  EXPECT_EQ(out_->Close(), kWaveOk);
  StopRecording(r);
}

}  // namespace
}  // namespace platform
