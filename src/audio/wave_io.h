#pragma once
// The one object through which the program talks to the waveform devices.
// It owns a single device at a time (output for playback, input for
// recording), keeps three 640-byte buffers in flight, recycles them from the
// device's completion callback, amplifies and measures every buffer, decides
// under voice activation whether a recorded buffer is written, and tells the
// rest of the program through two events when audio has passed and when the
// device has stopped or run out of data.
//
// Threads: the controller calls the operations; the callbacks run on the
// device's own thread; the monitor thread waits on the events and reads the
// flags, progress and times. Everything the callbacks share with the other
// threads is atomic, and the progress and times are published by whichever
// thread moves the stream, so the monitor never touches the stream itself.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/audio_stream.h"
#include "audio/meter_state.h"
#include "audio/playback_speed.h"
#include "audio/time_stretch.h"
#include "audio/wave_format_ex.h"
#include "audio/device_choice.h"
#include "platform/sync.h"
#include "platform/wave_capture_ring.h"
#include "platform/wave_device.h"
#include "settings/preferences.h"
#include "settings/settings_record.h"

namespace audio {

enum class WaveDirection : int32_t { None = 0, Output = 1, Input = 2 };

// Scan modes, passed unchanged as the stream's read direction.
inline constexpr uint32_t ScanNone = 0;
inline constexpr uint32_t ScanBackward = 1;
inline constexpr uint32_t ScanForward = 2;

// Buffers in flight per direction, and the size of each.
inline constexpr int kWaveBufferCount = 3;
inline constexpr uint32_t kWaveBufferBytes = 640;

// Voice activation keeps writing quiet buffers for this long after the last
// buffer that reached the threshold, so that words are not clipped between
// buffers; later quiet buffers are dropped. The same for every format.
inline constexpr uint32_t kVasHangMs = 700;

class WaveIO {
 public:
  WaveIO();
  ~WaveIO();
  WaveIO(const WaveIO&) = delete;
  WaveIO& operator=(const WaveIO&) = delete;

  // Auto-reset: set after every buffer that passes through (played or recorded).
  platform::Event DataEvent{false, false};
  // Manual-reset, created signalled: reset when a device starts, set when it
  // stops, is reset or has no more data. The waiter resets it after handling.
  platform::Event StopEvent{true, true};
  // Playback has consumed all the stream's data (or could not start).
  std::atomic<int32_t> Finished{0};
  // Not owned; set by the owner before Open.
  std::atomic<IAudioStream*> Stream{nullptr};
  uint32_t* DeviceId = nullptr;
  // Open stores the stream's device format here, Close stores null.
  const WaveFormatEx** FormatSlot = nullptr;
  // Receives the level of every buffer; required by Open.
  MeterState* LevelMeter = nullptr;
  // Only the amplify flags are read here.
  settings::SettingsRecord* Settings = nullptr;
  // The desktop's additions: when set, each Open takes the chosen device and
  // the pre-roll from here. Not owned.
  settings::PreferencesStore* Preferences = nullptr;
  // Voice activation writes this much of the input before a buffer that
  // reaches the threshold ahead of it (0: none); read by StartRecording.
  std::atomic<uint32_t> PreRollMs{kDefaultPreRollMs};
  // What the desktop's volume control calls the stream; empty: the stream
  // file's name (see StreamNameFor). Read by Open.
  std::string StreamName;
  std::unique_ptr<platform::WaveOutDevice> OutputHandle;
  std::unique_ptr<platform::WaveInDevice> InputHandle;
  // Index of the header queued last; 2 at rest so that the first buffer uses
  // header 0; -1 after a failed first hand-over.
  std::atomic<int32_t> OutputIndex{2};
  std::atomic<int32_t> InputIndex{2};
  platform::WaveHeader OutputHeaders[kWaveBufferCount]{};
  platform::WaveHeader InputHeaders[kWaveBufferCount]{};
  // Result of the last device call that failed.
  std::atomic<uint32_t> LastError{0};
  // 1 while idle or being reset, 0 while the device runs.
  std::atomic<int32_t> Stopping{1};
  std::atomic<int32_t> Paused{0};
  // A seek made while paused: a buffer completing meanwhile is not replaced.
  std::atomic<int32_t> HoldRequeue{0};
  std::atomic<uint32_t> ScanMode{ScanNone};
  std::atomic<WaveDirection> Direction{WaveDirection::None};
  // When the last buffer was written as voice (TickSource milliseconds).
  std::atomic<uint32_t> LastVoiceTick{0};

  // A write of recorded data failed: nothing more is written or queued and
  // StopEvent is set. WriteError holds the system error code of the failure.
  // Cleared by Open, kept through Close so the owner can report it.
  std::atomic<int32_t> WriteFailed{0};
  std::atomic<int32_t> WriteError{0};
  // The stream could not be read before its data ran out (the file went
  // away or was cut short): the playback stops as a user's stop does, with
  // Finished clear, and LastError is set so that GetErrorText gives the
  // system's text for ReadError. Cleared by Open and StartPlayback, kept
  // through Close.
  std::atomic<int32_t> ReadFailed{0};
  std::atomic<int32_t> ReadError{0};
  // A device that went away while open (unplugged, its server gone): it
  // stopped as a failed write does, and GetErrorText names it.
  bool DeviceGone() const { return LastError.load() == platform::kWaveDeviceGone; }
  // Input the recording device lost (its capture overran), in ms, as of the
  // last Close; cleared by Open.
  uint32_t LostInputMs() const { return lostInputMs_; }

  // The millisecond clock of voice activation; platform::TickCount unless a
  // test or simulation runs the device on another clock. Set while closed.
  std::function<uint32_t()> TickSource;

  bool QueryInputFormat(const uint32_t* deviceId, IAudioStream* stream);
  bool QueryOutputFormat(const uint32_t* deviceId, IAudioStream* stream);
  bool Open(WaveDirection direction);
  bool StartPlayback();
  bool StartRecording(void* unused);
  bool Pause();
  bool Resume();
  bool Reset();
  bool Close();
  void ResetState();
  bool Seek(int32_t percent);
  bool StartScan(uint32_t mode);
  bool StopScan();
  // The speed of playback in per cent (audio/playback_speed.h), kept from
  // file to file. It applies from the next buffer played on, also while a
  // file plays. At 1x the device hears the stream's blocks exactly as read;
  // at another speed they are time-stretched with the pitch kept. Position,
  // progress, seeking and the end stay in the file's time, and the scans
  // play at double rate whatever the speed. False (and no change) for a
  // speed not in the table. UI thread.
  bool SetPlaybackSpeed(uint32_t percent);
  uint32_t GetPlaybackSpeed() const { return playbackSpeed_; }
  bool SetVolume(uint32_t volume);
  bool GetVolume(uint32_t* volume);
  bool IsPlaying() const;
  bool IsRecording() const;
  // As of the last buffer, seek or open; 0 while no device is open.
  uint32_t GetProgressPercent() const;
  uint32_t GetPositionSeconds() const;
  uint32_t GetLengthSeconds() const;
  // Null without an error; the text stays valid until the next call.
  const char16_t* GetErrorText();

  // The device callbacks; they find their object through the header's user value.
  static void OnOutputDone(platform::WaveOutDevice* device, uint32_t message, uintptr_t instance,
                           platform::WaveHeader* header);
  static void OnInputData(platform::WaveInDevice* device, uint32_t message, uintptr_t instance,
                          platform::WaveHeader* header);

 private:
  bool QueueOutputBuffer(platform::WaveOutDevice* device);
  // The next block for the device: the stream's own, or stretched to the
  // playback speed.
  uint8_t* ReadOutputBlock(IAudioStream* stream, uint32_t* size);
  // The stretcher for the open output, made when a speed other than 1x
  // first needs it (UI thread).
  void PrepareStretch();
  // Reading forward has delivered everything: the stream's last block, and
  // what the stretcher still held of it.
  bool OutputExhausted(IAudioStream* stream) const;
  bool QueueInputBuffer(platform::WaveInDevice* device);
  bool WriteRecordedBuffer(platform::WaveHeader* header);
  void AmplifyIfChosen(platform::WaveHeader* header);
  // A recorded buffer's way to the file (voice activation's decision, the
  // write); false once a write failed.
  bool TakeRecorded(platform::WaveHeader* header);
  // At a stop: the input the buffers could not take goes to the file too.
  void WriteCapturedBacklog();
  // Voice activation's decision for a recorded buffer: write it (after the
  // pre-roll kept for it), or keep it as pre-roll.
  bool VoiceDecision(platform::WaveHeader* header, bool* write);
  void KeepForPreRoll(const platform::WaveHeader* header);
  bool WritePreRoll();
  // The route of the device about to open: the chosen device (from the
  // preferences, when set) and the stream's name.
  void RouteDevice(WaveDirection direction);
  bool IsFinished();
  // Whether reading in the scan mode's direction has reached the edge of
  // the data (no whole block left), so that a null read is the end.
  bool AtEdgeOfData(IAudioStream* stream) const;
  bool OpenOutputDevice(const WaveFormatEx& format);
  bool Fail(uint32_t result);
  uint32_t Now() const;
  bool AnyQueued(const std::atomic<bool>* queued) const;
  // Resets the device until none of our buffers is left in it.
  template <typename Device>
  bool ResetDevice(Device* device, const std::atomic<bool>* queued);
  // Records the stream's progress and times for the other threads.
  void PublishProgress();

  // Whether each header is in the device (handed over, not yet returned):
  // what IsPlaying and IsRecording look at, without touching the device.
  std::atomic<bool> outputQueued_[kWaveBufferCount]{};
  std::atomic<bool> inputQueued_[kWaveBufferCount]{};
  // A buffer reached the threshold since the recording started: only then
  // does the hang apply, so a recording that starts quiet writes nothing.
  std::atomic<bool> voiceHeard_{false};
  // The input last dropped by voice activation, at most preRollBytes_, in
  // memory; written ahead of the next voiced buffer. Allocated by
  // StartRecording, used only by the input callback.
  platform::WaveCaptureRing preRoll_;
  size_t preRollBytes_ = 0;
  uint8_t preRollBlock_[kWaveBufferBytes]{};
  uint8_t backlogBlock_[kWaveBufferBytes]{};
  std::atomic<uint32_t> lostInputMs_{0};
  std::atomic<uint32_t> progressPercent_{0};
  std::atomic<uint32_t> positionSeconds_{0};
  std::atomic<uint32_t> lengthSeconds_{0};
  // Playback speed: kept through Close. The stretcher is made on the UI
  // thread and published through stretch_; only the thread reading the
  // stream uses it, and it goes with the device (ResetState).
  std::atomic<uint32_t> playbackSpeed_{kNormalSpeed};
  std::unique_ptr<TimeStretch> stretchOwner_;
  std::atomic<TimeStretch*> stretch_{nullptr};
  // The last block came through the stretcher (reader's state).
  std::atomic<bool> stretching_{false};
  // A seek or a scan moved the stream: the stretcher starts afresh there.
  std::atomic<bool> stretchMoved_{false};
  // The direction of the device whose failure LastError holds, kept when a
  // failed open or close has cleared Direction, so its text stays available.
  std::atomic<WaveDirection> errorDirection_{WaveDirection::None};
  // The classic 128 characters, and room for a device's name.
  static constexpr size_t kErrorTextChars = 384;
  char16_t errorText_[kErrorTextChars + 1]{};
};

}  // namespace audio
