#pragma once
// The program as the sequence test drives it: the real main window on the
// virtual device, what a person has done to it so far (the settings they
// chose, the recordings they made), and the checks of what must hold after
// every step. A failed check throws through RC_ASSERT with what was seen.

#include <rapidcheck.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app_fixture.h"
#include "audio/device_choice.h"
#include "platform/device_paths.h"
#include "platform/text.h"
#include "view/time_text.h"

namespace apptest {

namespace fs = std::filesystem;

// What the person chose, as the settings must hold it after a restart.
struct Chosen {
  int32_t volume = 100;
  bool vas = false;
  int32_t threshold = 0;
  int32_t playMode = 3;
  std::u16string folder = app::kAllFolders;
  int32_t formatId = 8192;
  int32_t ledBlink = 1;
  uint32_t speed = 100;    // per cent, kept in preferences.txt
  uint32_t preRollMs = 300;  // the Audio page's, kept there too
  std::string microphone;    // the Audio page's device id; empty: "Default"
};

// The microphones the Audio page offers, by their descriptions and ids.
inline const std::pair<const char*, const char*> kMicrophones[] = {
    {"Default", ""}, {"Built-in Audio Analog Stereo", "builtin"}, {"USB Headset Mono", "usb"}};

class SequenceProgram : public AppTest {
 public:
  // The microphone: 120 s of 16-bit input, loud noise and silence taking
  // turns, every stretch of noise unlike any other.
  static const Bytes& Input() {
    static const Bytes input = [] {
      Bytes bytes = NumberedSamples(8000 * 120);
      for (size_t second = 0; second < 120; second += 3)
        std::fill_n(bytes.begin() + static_cast<long>(second * 16000), 16000, uint8_t{0});
      return bytes;
    }();
    return input;
  }

  // vas: voice activation left on by the last session, so that the walk
  // often starts listening (the toggle lies under the list).
  void Begin(bool vas) {
    device_->SetInputBytes(Input());
    device_->SetEndpoints(true, {{"builtin", kMicrophones[1].first, true}, {"usb", kMicrophones[2].first}});
    WriteSettings([vas](settings::SettingsRecord& r) {
      r.FormatId = 8192;
      r.VasMode = vas ? 2 : 1;
    });
    chosen.vas = vas;
    for (int i = 0; i < 3; ++i) AddFile(DocumentsFolder(), "Take" + std::to_string(i) + ".wav", 4 + 6 * i);
    fs::create_directories(roots_.Card(u"Storage Card") + "/Quillon");
    AddFile(roots_.Card(u"Storage Card") + "/Quillon", "Card0.wav", 8);
    Start();
    Settle();
    NoteIdleBytes();
  }

  void AddFile(const std::string& folder, const std::string& name, int buffers) {
    Bytes samples = NumberedSamples(320 * static_cast<size_t>(buffers));
    if (!samples.empty()) samples[0] = static_cast<uint8_t>(name.size() + buffers);
    WriteWav(folder + "/" + name, 8192, samples);
  }

  // Lets the device, the monitor thread and the queued hand-overs come to rest.
  void Settle() {
    for (int round = 0; round < 50; ++round) {
      platform::VirtualWaveDevice::WaitUntilSettled(2000);
      Pump();
      // A playback whose data ran out ends through the monitor thread.
      const bool ending = T().AudioIO.Direction == audio::WaveDirection::Output && !T().AudioIO.IsPlaying();
      if (!ending && round >= 2) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // What the program runs now, as the device and the flags tell it.
  bool Recording() { return audio::RecordingActive.load() != 0; }
  bool Playing() { return T().AudioIO.Direction == audio::WaveDirection::Output; }
  std::u16string Running() { return Recording() || Playing() ? std::u16string(T().FilePath) : u""; }

  // Called before a step: what the step may end.
  void Before() {
    wasRecording_ = Recording();
    recordingPath_ = wasRecording_ ? std::u16string(T().FilePath) : u"";
    errorsBefore_ = errors_.size();
  }

  // After a step: a recording ends only by the person's command (allowed)
  // or with a message saying why.
  void CheckRecordingKept(const std::string& step, bool mayEnd) {
    if (!wasRecording_ || mayEnd || errors_.size() > errorsBefore_) return;
    RC_ASSERT_FALSE(step.empty());
    if (!Recording() || T().FilePath != recordingPath_) {
      std::ostringstream why;
      why << step << " ended the recording " << platform::ToUtf8(recordingPath_) << " without a word";
      RC_FAIL(why.str());
    }
  }

  // The view agrees with the device, nothing is left open, every file reads.
  void CheckWhole() {
    Settle();
    NoteRecording();
    const audio::WaveIO& io = T().AudioIO;
    const bool recording = Recording();
    const bool playing = Playing();
    const bool paused = io.Paused.load() != 0;
    const int icon = V().ShownStatusIcon();
    if (playing) {
      RC_ASSERT(icon == (paused ? app::kStatusPaused : app::kStatusPlaying));
    } else if (recording) {
      const bool vasQuiet = audio::VasEnabled.load() != 0 && icon == app::kStatusPaused;
      RC_ASSERT(icon == (paused ? app::kStatusPaused : app::kStatusRecording) || vasQuiet);
    } else {
      RC_ASSERT(icon == app::kStatusStopped);
    }
    RC_ASSERT(Enabled(view::kStopButton) == (recording || playing));
    RC_ASSERT(Enabled(view::kForwardButton) == (playing && !paused));
    RC_ASSERT(Enabled(view::kRewindButton) == (playing && !paused));
    const bool listed = List().Count() > 0;
    RC_ASSERT(Enabled(view::kPlayButton) == (recording || playing || listed));
    if (!recording) RC_ASSERT(Enabled(view::kNextButton) == listed);
    if (recording || playing) RC_ASSERT(Shown(Area::FileName) == app::CTransport::DisplayName(T().FilePath));
    if (playing) {
      auto* stream = static_cast<audio::WaveFileStream*>(io.Stream.load());
      RC_ASSERT(Shown(Area::Length) == view::FormatTimeParen(stream->GetLengthSeconds()));
    }
    // Listening under voice activation, idle without it; listening to the
    // microphone chosen.
    if (!recording && !playing) {
      RC_ASSERT((io.Direction.load() == audio::WaveDirection::Input) == (audio::VasEnabled.load() != 0));
      if (audio::VasEnabled.load() != 0) RC_ASSERT(device_->LastRoute(true).deviceId == chosen.microphone);
    }
    // A stream exactly while a device is open; a file open only while it runs.
    RC_ASSERT((io.Stream.load() != nullptr) == (io.Direction.load() != audio::WaveDirection::None));
    // With no device open every stream and buffer has been given back.
    if (io.Direction.load() == audio::WaveDirection::None) RC_ASSERT(diag::CurrentBytes() == idleBytes_);
    std::set<std::string> open;
    for (const std::string& file : testsupport::OpenFilesUnder(roots_.Base()))
      if (file.size() > 4 && file.compare(file.size() - 4, 4, ".wav") == 0) open.insert(file);
    const std::u16string running = Running();
    if (running.empty()) {
      RC_ASSERT(open.empty());
    } else {
      RC_ASSERT(open.size() <= 1u);
    }
    CheckFiles();
  }

  void CheckFiles() {
    for (const auto& entry : fs::recursive_directory_iterator(roots_.Base())) {
      if (entry.path().extension() != ".wav") continue;
      const std::string path = entry.path().string();
      SF_INFO info{};
      SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
      if (file == nullptr) RC_FAIL("libsndfile cannot read " + path + ": " + sf_strerror(nullptr));
      sf_close(file);
    }
    // Each finished recording holds the microphone's input: from its first
    // sample on without voice activation, its voiced stretches in order with
    // it. Without voice activation, and with no message while it ran, all of
    // the input, to the last sample before it ended (GSM: a block for every
    // 640 bytes of it, and one for a part at a pause).
    const std::vector<uint64_t> delivered = device_->InputsDelivered();
    for (const auto& [host, made] : recordings_) {
      if (!fs::exists(host) || host == RunningHost()) continue;
      const Bytes data = DataChunk(ReadFileBytes(host));
      if (!made.gsm) RC_ASSERT(HoldsInput(data, !made.vas));
      if (made.vas || errors_.size() != made.errors) continue;
      const uint64_t input = delivered.at(made.input);
      if (made.gsm) {
        RC_ASSERT(data.size() % 65 == 0 && data.size() >= (input + 639) / 640 * 65);
      } else {
        RC_ASSERT(data.size() == input);
      }
    }
  }

  // Whether data is the input's bytes in order, skipping stretches only when
  // gaps are allowed.
  static bool HoldsInput(const Bytes& data, bool contiguous) {
    const Bytes& input = Input();
    size_t at = 0;  // position in the input
    size_t f = 0;
    while (f < data.size()) {
      if (!contiguous) {
        // The next stretch starts where the next 32 bytes match.
        const size_t probe = std::min<size_t>(32, data.size() - f);
        auto found = std::search(input.begin() + static_cast<long>(at), input.end(), data.begin() + static_cast<long>(f),
                                 data.begin() + static_cast<long>(f + probe));
        if (found == input.end()) return false;
        at = static_cast<size_t>(found - input.begin());
      }
      while (f < data.size() && at < input.size() && data[f] == input[at]) {
        ++f;
        ++at;
      }
      if (f < data.size() && (contiguous || at >= input.size())) return false;
    }
    return true;
  }

  std::string RunningHost() {
    const std::u16string running = Running();
    if (running.empty()) return {};
    return platform::DevicePaths::ToHost(running).value_or("");
  }

  // Restarts as the desktop session would (SIGTERM's road), then checks the
  // settings read back are what the person chose.
  void Restart() {
    window_->RequestExit();
    RC_ASSERT(WaitFor([&] { return window_->Controller() == nullptr; }));
    window_.reset();
    settings::SettingsStore saved;
    RC_ASSERT(saved.Load());
    saved.Preferences.Load();
    const settings::SettingsRecord& r = saved.Record;
    RC_ASSERT(r.Volume == chosen.volume);
    RC_ASSERT(r.VasMode == (chosen.vas ? 2 : 1));
    RC_ASSERT(r.VasThreshold == chosen.threshold);
    RC_ASSERT(r.PlayMode == chosen.playMode);
    RC_ASSERT(std::u16string(r.Folder) == chosen.folder);
    RC_ASSERT(r.FormatId == chosen.formatId);
    RC_ASSERT(r.LedBlink == chosen.ledBlink);
    RC_ASSERT(audio::ReadPreRollMs(saved.Preferences) == chosen.preRollMs);
    RC_ASSERT(audio::ReadDeviceChoice(saved.Preferences, true).id == chosen.microphone);
    Start();
    RC_ASSERT(T().AudioIO.GetPlaybackSpeed() == chosen.speed);
    Settle();
    NoteIdleBytes();
  }

  Chosen chosen;

 private:
  // A recording that started is remembered with whether voice activation
  // gated it, so that its file can be checked once it is finished.
  // A later recording may take the name of one deleted: it is noted anew.
  void NoteRecording() {
    const std::string host = Recording() ? RunningHost() : std::string();
    if (host == noted_) return;
    noted_ = host;
    if (host.empty()) return;
    // Only PCM holds the input's bytes as they are; GSM is checked by its size.
    recordings_[host] = {audio::VasEnabled.load() != 0, C().Settings.Record.FormatId == 49,
                         device_->InputsDelivered().size() - 1, errors_.size()};
  }

  // What the program holds with nothing running: its own objects, no
  // stream, no buffer. Under voice activation it listens, so the figure is
  // taken with the device closed for a moment.
  void NoteIdleBytes() {
    const bool vas = audio::VasEnabled.load() != 0;
    if (vas) T().CloseDevice();
    idleBytes_ = diag::CurrentBytes();
    if (vas) T().UpdateVas(1);
    Settle();
  }

  uint32_t idleBytes_ = 0;
  bool wasRecording_ = false;
  std::u16string recordingPath_;
  size_t errorsBefore_ = 0;
  struct Made {
    bool vas;
    bool gsm;
    size_t input;   // its input open, of the device's
    size_t errors;  // messages shown before it started
  };
  std::map<std::string, Made> recordings_;
  std::string noted_;
};

}  // namespace apptest
