// Playback: buffers read from the stream (or stretched to the playback
// speed) and queued to the output device, seeking, the double-speed scan and
// the end of the data.
#include "audio/wave_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "audio/app_flags.h"
#include "audio/level_measure.h"
#include "audio/wave_io_internal.h"
#include "platform/last_error.h"

namespace audio {

using namespace wave_io_detail;

bool WaveIO::OpenOutputDevice(const WaveFormatEx& format) {
  const platform::WaveResult r = platform::WaveOutDevice::Open(OutputHandle, *DeviceId, ToDeviceFormat(format),
                                                               &WaveIO::OnOutputDone, reinterpret_cast<uintptr_t>(this));
  return r == platform::kWaveOk || Fail(r);
}

void WaveIO::PrepareStretch() {
  IAudioStream* stream = Stream;
  if (stretch_ != nullptr || stream == nullptr || stream->GetFormat() == nullptr) return;
  // A format it cannot stretch plays at 1x.
  stretchOwner_ = TimeStretch::Create(*stream->GetFormat());
  stretch_ = stretchOwner_.get();
}

bool WaveIO::SetPlaybackSpeed(uint32_t percent) {
  if (!IsPlaybackSpeed(percent)) return false;
  playbackSpeed_ = percent;
  if (percent != kNormalSpeed && Direction == WaveDirection::Output) PrepareStretch();
  return true;
}

uint8_t* WaveIO::ReadOutputBlock(IAudioStream* stream, uint32_t* size) {
  TimeStretch* stretch = stretch_;
  const uint32_t speed = playbackSpeed_;
  const bool moved = stretchMoved_.exchange(false);
  if (stretch == nullptr || speed == kNormalSpeed || ScanMode != ScanNone) {
    // What the stretcher still held is dropped: at 1x the device hears the
    // stream's own blocks from where it stands.
    stretching_ = false;
    return stream->Read(size, ScanMode);
  }
  if (moved || !stretching_) stretch->Reset();
  stretching_ = true;
  stretch->SetSpeed(speed);
  uint8_t* block = stretch->Read(stream, size);
  // The end is known with the last block handed out, or here when it came
  // with none left.
  if (block == nullptr && stretch->Drained()) Finished = 1;
  return block;
}

bool WaveIO::OutputExhausted(IAudioStream* stream) const {
  if (!ForwardDataExhausted(stream)) return false;
  const TimeStretch* stretch = stretch_;
  return !stretching_ || stretch == nullptr || stretch->Drained();
}

bool WaveIO::QueueOutputBuffer(platform::WaveOutDevice* device) {
  const int32_t index = NextIndex(OutputIndex);
  OutputIndex = index;
  WaveHeader& header = OutputHeaders[index];
  IAudioStream* stream = Stream;
  uint32_t size = kWaveBufferBytes;
  uint8_t* block = stream != nullptr ? ReadOutputBlock(stream, &size) : nullptr;
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

bool WaveIO::Seek(int32_t percent) {
  IAudioStream* stream = Stream;
  // Only playback moves: a seek in a file being written would overwrite it.
  if (stream == nullptr || Direction != WaveDirection::Output) return false;
  if (Paused) {
    // The buffers already in the paused device play first on Resume.
    HoldRequeue = 1;
    const bool moved = stream->SeekPercent(percent);
    if (moved) {
      Finished = 0;  // there is data again after the held buffers
      stretchMoved_ = true;
    }
    PublishProgress();
    return moved;
  }
  if (!Reset()) return false;
  if (!stream->SeekPercent(percent)) return false;
  stretchMoved_ = true;
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
  stretchMoved_ = true;  // the scan moved the stream
  return StartPlayback();
}

bool WaveIO::IsFinished() {
  if (Direction != WaveDirection::Output) return Stopping != 0;
  IAudioStream* stream = Stream;
  if (stream != nullptr) {
    if (OutputExhausted(stream)) {
      Finished = 1;
      return true;
    }
  }
  return Stopping != 0;
}

bool WaveIO::AtEdgeOfData(IAudioStream* stream) const {
  if (ScanMode != ScanBackward) return OutputExhausted(stream);
  const WaveFileStream* gsm = AsGsmStream(stream);
  return (gsm != nullptr ? gsm->GetPairsRead() : stream->GetPositionFrames()) == 0;
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

}  // namespace audio
