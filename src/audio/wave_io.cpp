#include "audio/wave_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "audio/app_flags.h"
#include "audio/level_measure.h"
#include "audio/wave_file_stream.h"
#include "diag/tracker.h"
#include "platform/last_error.h"

namespace audio {

namespace {

using platform::WaveHeader;

int32_t NextIndex(int32_t index) { return index >= kWaveBufferCount - 1 || index < 0 ? 0 : index + 1; }
int32_t PreviousIndex(int32_t index) { return index <= 0 ? kWaveBufferCount - 1 : index - 1; }

// The header's position among the three, or -1 when it is not one of them.
int32_t IndexOf(const WaveHeader* headers, const WaveHeader* header) {
  for (int32_t i = 0; i < kWaveBufferCount; ++i) {
    if (headers + i == header) return i;
  }
  return -1;
}

void ClearHeader(WaveHeader& header) {
  if (header.data != nullptr) diag::TrackedDelete(header.data);
  header = WaveHeader{};
}

const WaveFileStream* AsGsmStream(const IAudioStream* stream) {
  const auto* file = dynamic_cast<const WaveFileStream*>(stream);
  return file != nullptr && file->IsGsm() ? file : nullptr;
}

// Reading forward has delivered the last whole block. For GSM that is the
// last whole pair: other writers count the pad byte of an odd pair count
// in the data size (65 x n + 1 bytes).
bool ForwardDataExhausted(IAudioStream* stream) {
  if (const WaveFileStream* gsm = AsGsmStream(stream)) {
    return gsm->GetPairsRead() >= gsm->GetDataBytes() / kGsmPairBytes;
  }
  return stream->GetPositionFrames() >= stream->GetLengthFrames();
}

// (part / whole) x 100, the division in single precision, 0.5 added in double.
uint32_t Percent(float part, float whole) {
  if (whole <= 0.0f) return 0;
  const float ratio = part / whole;
  return static_cast<uint32_t>(static_cast<double>(ratio * 100.0f) + 0.5);
}

}  // namespace

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
  const platform::WaveResult r = platform::WaveInDevice::Query(*deviceId, ToDeviceFormat(*stream->GetFormat()));
  if (r == platform::kWaveOk) return true;
  errorDirection_ = WaveDirection::Input;
  return Fail(r);
}

bool WaveIO::QueryOutputFormat(const uint32_t* deviceId, IAudioStream* stream) {
  if (deviceId == nullptr || stream == nullptr || stream->GetFormat() == nullptr) return false;
  const platform::WaveResult r = platform::WaveOutDevice::Query(*deviceId, ToDeviceFormat(*stream->GetFormat()));
  if (r == platform::kWaveOk) return true;
  errorDirection_ = WaveDirection::Output;
  return Fail(r);
}

bool WaveIO::OpenOutputDevice(const WaveFormatEx& format) {
  const platform::WaveResult r = platform::WaveOutDevice::Open(OutputHandle, *DeviceId, ToDeviceFormat(format),
                                                               &WaveIO::OnOutputDone, reinterpret_cast<uintptr_t>(this));
  return r == platform::kWaveOk || Fail(r);
}

bool WaveIO::Open(WaveDirection direction) {
  IAudioStream* stream = Stream;
  if (stream == nullptr || DeviceId == nullptr || LevelMeter == nullptr || FormatSlot == nullptr) return false;
  if (direction != WaveDirection::Output && direction != WaveDirection::Input) return false;
  const WaveFormatEx* format = stream->GetFormat();
  if (format == nullptr) return false;
  WriteFailed = 0;
  WriteError = 0;
  ReadFailed = 0;
  ReadError = 0;
  Direction = direction;
  *FormatSlot = format;
  SetMeterFormat(*LevelMeter, format);
  PublishProgress();
  if (direction == WaveDirection::Output) return OpenOutputDevice(*format);
  const platform::WaveResult r = platform::WaveInDevice::Open(InputHandle, *DeviceId, ToDeviceFormat(*format),
                                                              &WaveIO::OnInputData, reinterpret_cast<uintptr_t>(this));
  return r == platform::kWaveOk || Fail(r);
}

bool WaveIO::QueueOutputBuffer(platform::WaveOutDevice* device) {
  const int32_t index = NextIndex(OutputIndex);
  OutputIndex = index;
  WaveHeader& header = OutputHeaders[index];
  IAudioStream* stream = Stream;
  uint32_t size = kWaveBufferBytes;
  uint8_t* block = stream != nullptr ? stream->Read(&size, ScanMode) : nullptr;
  PublishProgress();
  if (block == nullptr) {
    // End of the data, or a read error when data was left: that one is
    // reported, not taken for the end. The index goes back to the last
    // buffer handed over, so IsPlaying stays true while the tail sounds.
    if (stream != nullptr && !AtEdgeOfData(stream)) {
      const int error = platform::GetLastError();
      ReadError = error != 0 ? error : EIO;
      ReadFailed = 1;
      LastError = platform::kWaveError;
    }
    OutputIndex = PreviousIndex(index);
    return false;
  }
  header = WaveHeader{};
  header.data = reinterpret_cast<char*>(block);
  header.bufferLength = size;
  header.user = reinterpret_cast<uintptr_t>(this);
  if (FormatSlot != nullptr && Settings != nullptr && settings::ReadAmplifyOutput(*Settings)) {
    AmplifyBuffer(*FormatSlot, block, size);
  }
  if (LevelMeter != nullptr) MeasureLevel(LevelMeter, block, size);
  DataEvent.Set();

  platform::WaveResult r = device->Prepare(&header);
  if (r == platform::kWaveOk) {
    // Marked before the hand-over: the device may return the buffer at once.
    outputQueued_[index] = true;
    r = device->Write(&header);
    if (r == platform::kWaveOk) return true;
    outputQueued_[index] = false;
    device->Unprepare(&header);
  }
  ClearHeader(header);
  OutputIndex = PreviousIndex(index);
  return Fail(r);
}

bool WaveIO::QueueInputBuffer(platform::WaveInDevice* device) {
  const int32_t index = NextIndex(InputIndex);
  InputIndex = index;
  WaveHeader& header = InputHeaders[index];
  if (header.data == nullptr) {
    header.data = static_cast<char*>(diag::TrackedNew(kWaveBufferBytes, u"wave_io.cpp", __LINE__));
    if (header.data == nullptr) return Fail(platform::kWaveNoMemory);
  }
  std::memset(header.data, 0, kWaveBufferBytes);
  header.bufferLength = kWaveBufferBytes;
  header.bytesRecorded = 0;
  header.flags = 0;
  header.user = reinterpret_cast<uintptr_t>(this);
  platform::WaveResult r = device->Prepare(&header);
  if (r != platform::kWaveOk) return Fail(r);
  inputQueued_[index] = true;
  r = device->AddBuffer(&header);
  if (r == platform::kWaveOk) return true;
  inputQueued_[index] = false;
  return Fail(r);
}

bool WaveIO::StartPlayback() {
  platform::WaveOutDevice* device = OutputHandle.get();
  if (device == nullptr) return false;
  Stopping = 0;
  // A new start (after a seek or a scan switch) plays on from where the
  // stream now is, even if the data had run out before.
  Finished = 0;
  ReadFailed = 0;
  ReadError = 0;
  StopEvent.Reset();
  // The device holds still while the three buffers go in, so that no
  // completion can requeue from the device's thread meanwhile (the stream,
  // the index and the headers belong to one thread at a time). A device
  // reopened for a scan while paused stays paused until Resume.
  device->Pause();
  bool full = true;
  for (int i = 0; i < kWaveBufferCount && full; ++i) full = QueueOutputBuffer(device);
  if (!full) {
    // Short of data: what was queued still plays, and the last buffer to
    // come back signals the stop; with nothing queued the stop is now. A
    // failed read is no end of the data.
    if (!ReadFailed) Finished = 1;
    if (!AnyQueued(outputQueued_)) {
      Stopping = 1;
      StopEvent.Set();
    }
  }
  if (!Paused) device->Restart();
  return true;
}

bool WaveIO::StartRecording(void* /*unused*/) {
  platform::WaveInDevice* device = InputHandle.get();
  if (device == nullptr) return false;
  Stopping = 0;
  LastVoiceTick = Now();
  voiceHeard_ = false;
  WriteFailed = 0;
  WriteError = 0;
  StopEvent.Reset();
  for (int i = 0; i < kWaveBufferCount; ++i) {
    if (!QueueInputBuffer(device)) {
      Stopping = 1;
      StopEvent.Set();
      return false;
    }
  }
  const platform::WaveResult r = device->Start();
  if (r == platform::kWaveOk) return true;
  Stopping = 1;
  StopEvent.Set();
  return Fail(r);
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

bool WaveIO::Seek(int32_t percent) {
  IAudioStream* stream = Stream;
  // Only playback moves: a seek in a file being written would overwrite it.
  if (stream == nullptr || Direction != WaveDirection::Output) return false;
  if (Paused) {
    // The buffers already in the paused device play first on Resume.
    HoldRequeue = 1;
    const bool moved = stream->SeekPercent(percent);
    if (moved) Finished = 0;  // there is data again after the held buffers
    PublishProgress();
    return moved;
  }
  if (!Reset()) return false;
  if (!stream->SeekPercent(percent)) return false;
  PublishProgress();
  return StartPlayback();
}

bool WaveIO::StartScan(uint32_t mode) {
  if (ScanMode != ScanNone) return true;
  if (mode != ScanBackward && mode != ScanForward) return false;
  IAudioStream* stream = Stream;
  if (stream == nullptr || Direction != WaveDirection::Output || !OutputHandle) return false;
  if (!Reset()) return false;
  if (const platform::WaveResult r = OutputHandle->Close()) return Fail(r);
  OutputHandle.reset();
  // Twice the rate, every other field as it is: twice the speed.
  WaveFormatEx doubled = *stream->GetFormat();
  doubled.SamplesPerSec *= 2;
  if (!OpenOutputDevice(doubled)) return false;
  ScanMode = mode;
  return StartPlayback();
}

bool WaveIO::StopScan() {
  if (ScanMode == ScanNone) return false;
  IAudioStream* stream = Stream;
  if (stream == nullptr || !OutputHandle) return false;
  if (!Reset()) return false;
  if (const platform::WaveResult r = OutputHandle->Close()) return Fail(r);
  OutputHandle.reset();
  if (!OpenOutputDevice(*stream->GetFormat())) return false;
  ScanMode = ScanNone;
  return StartPlayback();
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
  // A failed read is the file's failure, not the device's: the system says why.
  const std::u16string text = code == platform::kWaveError && ReadFailed ? platform::SystemErrorText(ReadError)
                                                                         : platform::WaveErrorText(code);
  if (text.empty()) return nullptr;
  const size_t length = std::min<size_t>(text.size(), 128);
  std::memcpy(errorText_, text.data(), length * sizeof(char16_t));
  errorText_[length] = u'\0';
  return errorText_;
}

bool WaveIO::IsFinished() {
  if (Direction != WaveDirection::Output) return Stopping != 0;
  IAudioStream* stream = Stream;
  if (stream != nullptr) {
    if (ForwardDataExhausted(stream)) {
      Finished = 1;
      return true;
    }
  }
  return Stopping != 0;
}

bool WaveIO::AtEdgeOfData(IAudioStream* stream) const {
  if (ScanMode != ScanBackward) return ForwardDataExhausted(stream);
  const WaveFileStream* gsm = AsGsmStream(stream);
  return (gsm != nullptr ? gsm->GetPairsRead() : stream->GetPositionFrames()) == 0;
}

bool WaveIO::WriteRecordedBuffer(WaveHeader* header) {
  IAudioStream* stream = Stream;
  if (stream == nullptr) return false;
  const uint32_t blockAlign = stream->GetBlockAlign();
  const uint32_t frames = blockAlign == 0 ? 0 : header->bytesRecorded / blockAlign;
  return stream->Write(header->data, frames);
}

void WaveIO::OnOutputDone(platform::WaveOutDevice* device, uint32_t message, uintptr_t /*instance*/,
                          WaveHeader* header) {
  if (message != platform::kWaveOutDone || header == nullptr || device == nullptr || header->user == 0) return;
  auto* self = reinterpret_cast<WaveIO*>(header->user);
  const int32_t index = IndexOf(self->OutputHeaders, header);
  if (index < 0) return;
  self->outputQueued_[index] = false;

  if (header->flags & platform::kWaveHeaderDone) {
    header->flags = 0;
    if (!self->Stopping) {
      if (const platform::WaveResult r = device->Unprepare(header)) {
        self->LastError = r;
        self->StopEvent.Set();  // the queue stops here; let the owner see it
        return;
      }
    }
    diag::TrackedDelete(header->data);
    header->data = nullptr;
  }

  const bool ended = self->IsFinished() || self->Finished || self->HoldRequeue || self->ReadFailed ||
                     !self->QueueOutputBuffer(device);
  if (!ended) return;
  // A reset signals with every buffer it returns. At the end of the data only
  // the last buffer to come back does, so the owner that closes the device on
  // the stop does not cut off the buffers still sounding.
  if (self->Stopping || self->HoldRequeue || !self->AnyQueued(self->outputQueued_)) self->StopEvent.Set();
}

void WaveIO::OnInputData(platform::WaveInDevice* device, uint32_t message, uintptr_t /*instance*/,
                         WaveHeader* header) {
  if (message != platform::kWaveInData || header == nullptr || device == nullptr || header->user == 0) return;
  auto* self = reinterpret_cast<WaveIO*>(header->user);
  const int32_t index = IndexOf(self->InputHeaders, header);
  if (index < 0) return;
  self->inputQueued_[index] = false;

  if (header->flags & platform::kWaveHeaderDone) {
    header->flags = 0;
    if (!self->Stopping) {
      if (const platform::WaveResult r = device->Unprepare(header)) {
        self->LastError = r;
        self->StopEvent.Set();
        return;
      }
    }
  }

  const uint32_t bytes = header->bytesRecorded;
  if (self->FormatSlot != nullptr && self->Settings != nullptr && settings::ReadAmplifyInput(*self->Settings)) {
    AmplifyBuffer(*self->FormatSlot, header->data, bytes);
  }
  if (self->LevelMeter != nullptr) MeasureLevel(self->LevelMeter, header->data, bytes);
  self->DataEvent.Set();

  if (bytes > 0) {
    if (self->WriteFailed) {
      // After a failed write nothing more goes to the file: a later write
      // that happened to succeed would leave a hole in the recording.
      ClearHeader(*header);
      self->StopEvent.Set();
      return;
    }
    bool write = false;
    if (!VasEnabled) {
      write = RecordingActive != 0;
    } else if (RecordingActive) {
      const uint32_t now = self->Now();
      if (self->LevelMeter != nullptr && self->LevelMeter->AboveThreshold) {
        write = true;
        self->LastVoiceTick = now;
        self->voiceHeard_ = true;
      } else {
        // Quiet: kept only within the hang after the last voiced buffer.
        write = self->voiceHeard_ && now - self->LastVoiceTick <= kVasHangMs;
      }
    }
    if (write) {
      if (!self->WriteRecordedBuffer(header)) {
        // The block stays in the header (released when the device closes);
        // nothing more is queued, and the owner learns why.
        self->WriteError = platform::GetLastError();
        self->WriteFailed = 1;
        self->StopEvent.Set();
        return;
      }
      self->PublishProgress();
    }
    diag::TrackedDelete(header->data);
    header->data = nullptr;
  }

  if (self->IsFinished() || !self->QueueInputBuffer(device)) self->StopEvent.Set();
}

}  // namespace audio
