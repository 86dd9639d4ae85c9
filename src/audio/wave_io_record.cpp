// Recording: buffers queued to the input device, measured, and written to
// the stream, under voice activation only while there is voice, with the
// input just before it (the pre-roll) kept in memory and written ahead.
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

bool WaveIO::QueueInputBuffer(platform::WaveInDevice* device) {
  const int32_t index = NextIndex(InputIndex);
  InputIndex = index;
  WaveHeader& header = InputHeaders[index];
  if (header.data == nullptr) {
    header.data = static_cast<char*>(diag::TrackedNew(kWaveBufferBytes, u"wave_io_record.cpp", __LINE__));
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

bool WaveIO::StartRecording(void* /*unused*/) {
  platform::WaveInDevice* device = InputHandle.get();
  if (device == nullptr) return false;
  // The pre-roll in whole frames of the device's format; GSM codes whole
  // device blocks, so there it is whole blocks (rounded up).
  const platform::WaveFormat& format = device->Format();
  const uint64_t ms = std::min<uint32_t>(PreRollMs, kMaxPreRollMs);
  size_t bytes = static_cast<size_t>(ms * platform::WaveBytesPerSecond(format) / 1000);
  bytes = bytes / format.blockAlign * format.blockAlign;
  if (AsGsmStream(Stream) != nullptr) bytes = (bytes + kWaveBufferBytes - 1) / kWaveBufferBytes * kWaveBufferBytes;
  if (preRoll_.Capacity() < bytes) preRoll_ = platform::WaveCaptureRing(bytes);
  preRoll_.Clear();
  preRollBytes_ = bytes;
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

bool WaveIO::WriteRecordedBuffer(WaveHeader* header) {
  IAudioStream* stream = Stream;
  if (stream == nullptr) return false;
  const uint32_t blockAlign = stream->GetBlockAlign();
  const uint32_t frames = blockAlign == 0 ? 0 : header->bytesRecorded / blockAlign;
  return stream->Write(header->data, frames);
}

void WaveIO::AmplifyIfChosen(WaveHeader* header) {
  if (FormatSlot != nullptr && Settings != nullptr && settings::ReadAmplifyInput(*Settings)) {
    AmplifyBuffer(*FormatSlot, header->data, header->bytesRecorded);
  }
}

bool WaveIO::TakeRecorded(WaveHeader* header) {
  bool write = false;
  if (!VasEnabled) {
    write = RecordingActive != 0;
  } else if (RecordingActive && !VoiceDecision(header, &write)) {
    WriteError = platform::GetLastError();
    WriteFailed = 1;
    return false;
  }
  if (!write) return true;
  if (!WriteRecordedBuffer(header)) {
    WriteError = platform::GetLastError();
    WriteFailed = 1;
    return false;
  }
  PublishProgress();
  return true;
}

void WaveIO::WriteCapturedBacklog() {
  platform::WaveInDevice* device = InputHandle.get();
  if (device == nullptr || Stream == nullptr) return;
  WaveHeader header{};
  header.data = reinterpret_cast<char*>(backlogBlock_);
  header.bufferLength = kWaveBufferBytes;
  while (!WriteFailed) {
    // Zeroed, as a queued buffer is: GSM codes whole blocks.
    std::memset(backlogBlock_, 0, sizeof backlogBlock_);
    header.bytesRecorded = static_cast<uint32_t>(device->TakeCaptured(backlogBlock_, kWaveBufferBytes));
    if (header.bytesRecorded == 0) return;
    AmplifyIfChosen(&header);
    // Voice activation decides on this input's own level.
    if (LevelMeter != nullptr) MeasureLevel(LevelMeter, header.data, header.bytesRecorded);
    if (!TakeRecorded(&header)) return;
  }
}

bool WaveIO::VoiceDecision(WaveHeader* header, bool* write) {
  const uint32_t now = Now();
  if (LevelMeter != nullptr && LevelMeter->AboveThreshold) {
    // Voice: what was dropped just before it goes first, so the stretch
    // starts before its first syllable; a stretch that follows within the
    // pre-roll joins the one before without a gap.
    *write = true;
    LastVoiceTick = now;
    voiceHeard_ = true;
    return WritePreRoll();
  }
  // Quiet: kept only within the hang after the last voiced buffer; beyond
  // it, remembered as pre-roll.
  *write = voiceHeard_ && now - LastVoiceTick <= kVasHangMs;
  if (!*write) KeepForPreRoll(header);
  return true;
}

void WaveIO::KeepForPreRoll(const WaveHeader* header) {
  if (preRollBytes_ == 0) return;
  const size_t bytes = std::min<size_t>(header->bytesRecorded, preRollBytes_);
  const size_t over = preRoll_.Size() + bytes > preRollBytes_ ? preRoll_.Size() + bytes - preRollBytes_ : 0;
  preRoll_.Drop(over);
  preRoll_.Push(reinterpret_cast<const uint8_t*>(header->data) + header->bytesRecorded - bytes, bytes);
}

bool WaveIO::WritePreRoll() {
  IAudioStream* stream = Stream;
  if (stream == nullptr || preRoll_.Empty()) return true;
  const uint32_t blockAlign = stream->GetBlockAlign();
  // GSM codes whole device blocks: a part block (a pause) at the front goes.
  if (AsGsmStream(stream) != nullptr) preRoll_.Drop(preRoll_.Size() % kWaveBufferBytes);
  while (!preRoll_.Empty()) {
    const size_t n = preRoll_.Pop(preRollBlock_, kWaveBufferBytes);
    const uint32_t frames = blockAlign == 0 ? 0 : static_cast<uint32_t>(n / blockAlign);
    if (!stream->Write(preRollBlock_, frames)) {
      preRoll_.Clear();
      return false;
    }
  }
  return true;
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
  self->AmplifyIfChosen(header);
  if (self->LevelMeter != nullptr) MeasureLevel(self->LevelMeter, header->data, bytes);
  // Buffers filled together (the sound server's input comes a tenth of a
  // second at a time) wake the monitor once, after the last of them.
  if (!device->MoreDone()) self->DataEvent.Set();

  if (bytes > 0) {
    if (self->WriteFailed) {
      // After a failed write nothing more goes to the file: a later write
      // that happened to succeed would leave a hole in the recording.
      ClearHeader(*header);
      self->StopEvent.Set();
      return;
    }
    if (!self->TakeRecorded(header)) {
      // The block stays in the header (released when the device closes);
      // nothing more is queued, and the owner learns why.
      self->StopEvent.Set();
      return;
    }
    diag::TrackedDelete(header->data);
    header->data = nullptr;
  }

  if (self->IsFinished() || !self->QueueInputBuffer(device)) self->StopEvent.Set();
}

}  // namespace audio
