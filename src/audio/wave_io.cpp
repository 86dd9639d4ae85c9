#include "audio/wave_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "audio/app_flags.h"
#include "audio/level_measure.h"
#include "audio/wave_io_internal.h"
#include "platform/last_error.h"
#include "platform/wave_route.h"

namespace audio {

using namespace wave_io_detail;

WaveIO::WaveIO() { ResetState(); }

WaveIO::~WaveIO() { Close(); }

uint32_t WaveIO::Now() const { return TickSource ? TickSource() : platform::TickCount(); }

bool WaveIO::Fail(uint32_t result) {
  LastError = result;
  return false;
}

bool WaveIO::AnyQueued(const std::atomic<bool>* queued) const {
  for (int i = 0; i < kWaveBufferCount; ++i) {
    if (queued[i]) return true;
  }
  return false;
}

void WaveIO::PublishProgress() {
  IAudioStream* stream = Stream;
  if (stream == nullptr) {
    progressPercent_ = 0;
    positionSeconds_ = 0;
    lengthSeconds_ = 0;
    return;
  }
  positionSeconds_ = stream->GetPositionSeconds();
  lengthSeconds_ = stream->GetRecordedSeconds();
  if (const WaveFileStream* gsm = AsGsmStream(stream)) {
    progressPercent_ = Percent(static_cast<float>(gsm->GetPairsRead() * 65.0), static_cast<float>(gsm->GetDataBytes()));
  } else {
    progressPercent_ = std::min<uint32_t>(
        100, Percent(static_cast<float>(stream->GetPositionFrames()), static_cast<float>(stream->GetLengthFrames())));
  }
}

void WaveIO::ResetState() {
  Stopping = 1;
  // Ending the devices first returns any buffer still in them through the
  // callbacks, which release their blocks while Stopping is set.
  OutputHandle.reset();
  InputHandle.reset();
  // No callback is left to use the stretcher now.
  stretch_ = nullptr;
  stretchOwner_.reset();
  stretching_ = false;
  stretchMoved_ = false;
  OutputIndex = 2;
  InputIndex = 2;
  Stream = nullptr;
  DeviceId = nullptr;
  FormatSlot = nullptr;
  LastError = 0;
  Paused = 0;
  HoldRequeue = 0;
  Finished = 0;
  ScanMode = ScanNone;
  Direction = WaveDirection::None;
  errorDirection_ = WaveDirection::None;
  LastVoiceTick = 0;
  for (int i = 0; i < kWaveBufferCount; ++i) {
    ClearHeader(OutputHeaders[i]);
    ClearHeader(InputHeaders[i]);
    outputQueued_[i] = false;
    inputQueued_[i] = false;
  }
  progressPercent_ = 0;
  positionSeconds_ = 0;
  lengthSeconds_ = 0;
  DataEvent.Reset();
  StopEvent.Set();
}

// A refusal is kept as the last error, so that the owner can tell a format
// the device refuses from no device at all.
bool WaveIO::QueryInputFormat(const uint32_t* deviceId, IAudioStream* stream) {
  if (deviceId == nullptr || stream == nullptr || stream->GetFormat() == nullptr) return false;
  if (Preferences != nullptr) {
    const DeviceChoice choice = ReadDeviceChoice(*Preferences, true);
    platform::SetWaveRouteDevice(true, choice.id, choice.description);
  }
  const platform::WaveResult r = platform::WaveInDevice::Query(*deviceId, ToDeviceFormat(*stream->GetFormat()));
  if (r == platform::kWaveOk) return true;
  errorDirection_ = WaveDirection::Input;
  return Fail(r);
}

bool WaveIO::QueryOutputFormat(const uint32_t* deviceId, IAudioStream* stream) {
  if (deviceId == nullptr || stream == nullptr || stream->GetFormat() == nullptr) return false;
  if (Preferences != nullptr) {
    const DeviceChoice choice = ReadDeviceChoice(*Preferences, false);
    platform::SetWaveRouteDevice(false, choice.id, choice.description);
  }
  const platform::WaveResult r = platform::WaveOutDevice::Query(*deviceId, ToDeviceFormat(*stream->GetFormat()));
  if (r == platform::kWaveOk) return true;
  errorDirection_ = WaveDirection::Output;
  return Fail(r);
}

void WaveIO::RouteDevice(WaveDirection direction) {
  const bool input = direction == WaveDirection::Input;
  if (Preferences != nullptr) {
    const DeviceChoice choice = ReadDeviceChoice(*Preferences, input);
    platform::SetWaveRouteDevice(input, choice.id, choice.description);
    if (input) PreRollMs = ReadPreRollMs(*Preferences);
  }
  platform::SetWaveStreamName(input, StreamName.empty() ? StreamNameFor(Stream) : StreamName);
}

bool WaveIO::Open(WaveDirection direction) {
  IAudioStream* stream = Stream;
  if (stream == nullptr || DeviceId == nullptr || LevelMeter == nullptr || FormatSlot == nullptr) return false;
  if (direction != WaveDirection::Output && direction != WaveDirection::Input) return false;
  const WaveFormatEx* format = stream->GetFormat();
  if (format == nullptr) return false;
  RouteDevice(direction);
  lostInputMs_ = 0;
  WriteFailed = 0;
  WriteError = 0;
  ReadFailed = 0;
  ReadError = 0;
  Direction = direction;
  *FormatSlot = format;
  SetMeterFormat(*LevelMeter, format);
  PublishProgress();
  if (direction == WaveDirection::Output) {
    if (playbackSpeed_ != kNormalSpeed) PrepareStretch();
    return OpenOutputDevice(*format);
  }
  const platform::WaveResult r = platform::WaveInDevice::Open(InputHandle, *DeviceId, ToDeviceFormat(*format),
                                                              &WaveIO::OnInputData, reinterpret_cast<uintptr_t>(this));
  return r == platform::kWaveOk || Fail(r);
}

bool WaveIO::Pause() {
  platform::WaveResult r;
  switch (Direction.load()) {
    case WaveDirection::Output:
      Paused = 1;
      r = OutputHandle ? OutputHandle->Pause() : platform::kWaveInvalidHandle;
      break;
    case WaveDirection::Input:
      Paused = 1;
      r = InputHandle ? InputHandle->Stop() : platform::kWaveInvalidHandle;
      break;
    default:
      return false;
  }
  return r == platform::kWaveOk || Fail(r);
}

bool WaveIO::Resume() {
  HoldRequeue = 0;
  Paused = 0;
  platform::WaveResult r;
  switch (Direction.load()) {
    case WaveDirection::Output:
      r = OutputHandle ? OutputHandle->Restart() : platform::kWaveInvalidHandle;
      break;
    case WaveDirection::Input:
      r = InputHandle ? InputHandle->Start() : platform::kWaveInvalidHandle;
      break;
    default:
      return true;
  }
  return r == platform::kWaveOk || Fail(r);
}

template <typename Device>
bool WaveIO::ResetDevice(Device* device, const std::atomic<bool>* queued) {
  // The device's reset returns once every buffer it held has come back
  // through the callback. A callback that was already running when Stopping
  // was set may still have handed over one more buffer; the next round takes
  // that back, and no callback requeues once it sees Stopping.
  for (int round = 0; round <= kWaveBufferCount; ++round) {
    const platform::WaveResult r = device->Reset();
    if (r != platform::kWaveOk) return Fail(r);
    if (!AnyQueued(queued)) return true;
  }
  return !AnyQueued(queued);
}

bool WaveIO::Reset() {
  Stopping = 1;
  switch (Direction.load()) {
    case WaveDirection::Output:
      return OutputHandle && ResetDevice(OutputHandle.get(), outputQueued_);
    case WaveDirection::Input:
      if (!InputHandle) return false;
      // Stopping first hands back the buffer being filled with the samples
      // it already holds, so that closing a recording keeps them.
      if (!Paused) {
        if (const platform::WaveResult r = InputHandle->Stop()) return Fail(r);
        // With Stopping set no buffer goes round again: what they could not
        // take (a backlog after a slow write) is written from here.
        WriteCapturedBacklog();
      }
      return ResetDevice(InputHandle.get(), inputQueued_);
    default:
      return false;
  }
}

bool WaveIO::Close() {
  const WaveDirection direction = Direction;
  // A failed open (or scan reopen) leaves no device to close; a failed
  // reset or close leaves its code. Either stays readable, with the device's
  // text, for the owner's message.
  bool closed = false;
  if ((direction == WaveDirection::Output && !OutputHandle) || (direction == WaveDirection::Input && !InputHandle)) {
    // The format pointers still point into the stream its owner deletes
    // next: they are dropped below all the same.
  } else if (Reset()) {
    if (direction == WaveDirection::Input) {
      // Everything captured is in the file now: what is missing was lost.
      const uint32_t rate = InputHandle->Format().samplesPerSec;
      if (rate != 0) lostInputMs_ = static_cast<uint32_t>((InputHandle->LostFrames() * 1000 + rate / 2) / rate);
    }
    const platform::WaveResult r =
        direction == WaveDirection::Output ? OutputHandle->Close() : InputHandle->Close();
    closed = r == platform::kWaveOk || Fail(r);
  }
  const uint32_t failure = closed || direction == WaveDirection::None ? 0 : LastError.load();
  if (FormatSlot != nullptr) *FormatSlot = nullptr;
  if (LevelMeter != nullptr) SetMeterFormat(*LevelMeter, nullptr);
  ResetState();
  if (failure != 0) {
    LastError = failure;
    errorDirection_ = direction;
  }
  return closed;
}

bool WaveIO::SetVolume(uint32_t volume) {
  if (!OutputHandle) return true;
  const platform::WaveResult r = OutputHandle->SetVolume(volume);
  return r == platform::kWaveOk || Fail(r);
}

bool WaveIO::GetVolume(uint32_t* volume) {
  if (!OutputHandle) return true;
  const platform::WaveResult r = OutputHandle->GetVolume(volume);
  return r == platform::kWaveOk || Fail(r);
}

bool WaveIO::IsPlaying() const {
  const int32_t index = OutputIndex;
  return Direction == WaveDirection::Output && index >= 0 && index < kWaveBufferCount && outputQueued_[index];
}

bool WaveIO::IsRecording() const {
  const int32_t index = InputIndex;
  return Direction == WaveDirection::Input && index >= 0 && index < kWaveBufferCount && inputQueued_[index];
}

uint32_t WaveIO::GetProgressPercent() const { return progressPercent_; }
uint32_t WaveIO::GetPositionSeconds() const { return positionSeconds_; }
uint32_t WaveIO::GetLengthSeconds() const { return lengthSeconds_; }

const char16_t* WaveIO::GetErrorText() {
  const uint32_t code = LastError;
  if (code == 0) return nullptr;
  WaveDirection direction = Direction;
  if (direction == WaveDirection::None) direction = errorDirection_;
  if (direction == WaveDirection::None) return u"Unknown WaveIO error.";
  // A failed read is the file's failure, not the device's: the system says
  // why. A device missing or gone is named.
  std::u16string text = platform::WaveDeviceProblemText(code, direction == WaveDirection::Input);
  if (text.empty()) {
    text = code == platform::kWaveError && ReadFailed ? platform::SystemErrorText(ReadError)
                                                      : platform::WaveErrorText(code);
  }
  if (text.empty()) return nullptr;
  const size_t length = std::min<size_t>(text.size(), kErrorTextChars);
  std::memcpy(errorText_, text.data(), length * sizeof(char16_t));
  errorText_[length] = u'\0';
  return errorText_;
}

}  // namespace audio
