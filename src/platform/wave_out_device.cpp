#include "platform/wave_device.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/wave_device_internal.h"
#include "platform/wave_gain.h"

namespace platform {

using namespace wave_detail;

// --- WaveOutDevice ---------------------------------------------------------

WaveOutDevice::WaveOutDevice(const WaveFormat& format, std::unique_ptr<WaveOutStream> stream,
                             std::shared_ptr<WaveBackend> backend, Callback callback,
                             uintptr_t instance)
    : WaveDevice(format, stream.get(), std::move(backend)),
      out_(std::move(stream)),
      callback_(std::move(callback)),
      instance_(instance) {}

WaveOutDevice::~WaveOutDevice() { Shutdown(); }

WaveResult WaveOutDevice::Query(uint32_t deviceId, const WaveFormat& format) {
  return QueryFormat(deviceId, format,
                     [deviceId](WaveBackend& b, const WaveFormat& f) {
                       return b.QueryOutput(deviceId, CurrentWaveRoute(false), f);
                     });
}

WaveResult WaveOutDevice::Open(std::unique_ptr<WaveOutDevice>& device, uint32_t deviceId,
                               const WaveFormat& format, Callback callback, uintptr_t instance) {
  device.reset();
  return OpenStream<WaveOutStream>(
      deviceId, format,
      [&](WaveBackend& backend, std::unique_ptr<WaveOutStream>& stream) {
        return backend.OpenOutput(deviceId, CurrentWaveRoute(false), format, stream);
      },
      [&](std::unique_ptr<WaveOutStream> stream, std::shared_ptr<WaveBackend> backend) {
        device.reset(new (std::nothrow)
                         WaveOutDevice(format, std::move(stream), std::move(backend), std::move(callback), instance));
        if (!device) return kWaveNoMemory;
        device->pulls_ = device->out_->PullFrom(device.get());
        device->StartThread();
        return kWaveOk;
      });
}

WaveResult WaveOutDevice::Write(WaveHeader* header) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!OpenLocked()) return kWaveInvalidHandle;
    const WaveResult r = QueueLocked(header, [this] { return failure_ != kWaveOk ? failure_ : out_->AcceptBuffer(); });
    if (r != kWaveOk || !pulls_) return r;
  }
  out_->DataQueued();
  return kWaveOk;
}

WaveResult WaveOutDevice::Pause() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!OpenLocked()) return kWaveInvalidHandle;
  paused_ = true;
  Wake();
  lock.unlock();
  out_->Interrupt();
  lock.lock();
  // Once Pause returns no completion may still be running: the caller may
  // then move the stream the callback reads from (a seek while paused).
  WaitIdleLocked(lock);
  return kWaveOk;
}

WaveResult WaveOutDevice::Restart() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!OpenLocked()) return kWaveInvalidHandle;
  paused_ = false;
  Wake();
  return kWaveOk;
}

WaveResult WaveOutDevice::GetVolume(uint32_t* volume) const {
  if (!volume) return kWaveInvalidParam;
  if (!IsOpen()) return kWaveInvalidHandle;
  *volume = backend_->OutputVolume();
  return kWaveOk;
}

WaveResult WaveOutDevice::SetVolume(uint32_t volume) {
  if (!IsOpen()) return kWaveInvalidHandle;
  backend_->SetOutputVolume(volume);
  return kWaveOk;
}

bool WaveOutDevice::HasTransferWorkLocked() const {
  return discard_ || paused_ != streamPaused_ || (!paused_ && !queue_.empty() && !pulls_);
}

void WaveOutDevice::OnResetLocked() {
  offset_ = 0;
  discard_ = true;
}

void WaveOutDevice::TransferStepLocked(std::unique_lock<std::mutex>& lock) {
  if (discard_) {
    discard_ = false;
    Unlocked(lock, [&] {
      out_->Discard();
      if (pulls_) out_->DataQueued();  // buffers queued since the reset
    });
    return;
  }
  if (paused_ != streamPaused_) {
    bool pause = paused_;
    Unlocked(lock, [&] {
      pause ? out_->Pause() : out_->Resume();
      if (!pause && pulls_) out_->DataQueued();  // what was asked for while paused
    });
    streamPaused_ = pause;
    return;
  }
  WaveHeader* header = queue_.front();
  size_t usable = UsableBytes(header, format_);
  if (offset_ >= usable) {
    offset_ = 0;
    out_->BufferDone();
    CompleteFrontLocked();
    return;
  }
  size_t chunk = usable - offset_;
  if (size_t limit = out_->ChunkBytes()) chunk = std::min(chunk, std::max<size_t>(limit / format_.blockAlign, 1) * format_.blockAlign);
  scratch_.assign(header->data + offset_, header->data + offset_ + chunk);
  ApplyWaveGain(scratch_.data(), chunk, format_, backend_->OutputVolume());
  uint64_t generation = generation_;
  size_t written = 0;
  WaveResult r = Unlocked(lock, [&] { return out_->Write(scratch_.data(), chunk, written); });
  if (generation != generation_) return;  // taken back by a reset meanwhile
  offset_ += std::min(written, chunk);
  if (r != kWaveOk) offset_ = usable;  // a failing backend still hands buffers back
  // A device that went away takes nothing more: the owner learns it when it
  // hands over the next buffer.
  if (r == kWaveDeviceGone) failure_ = r;
}

// --- a stream that pulls: from the queue to the backend's thread -----------

size_t WaveOutDevice::Fill(uint8_t* data, size_t bytes) {
  bool completed = false;
  size_t done = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_ || discard_ || failure_ != kWaveOk) return 0;
    bytes = bytes / format_.blockAlign * format_.blockAlign;
    while (done < bytes && !queue_.empty()) {
      WaveHeader* header = queue_.front();
      const size_t usable = UsableBytes(header, format_);
      const size_t n = std::min(usable - std::min(offset_, usable), bytes - done);
      std::memcpy(data + done, header->data + offset_, n);
      ApplyWaveGain(data + done, n, format_, backend_->OutputVolume());
      offset_ += n;
      done += n;
      if (offset_ >= usable) {
        offset_ = 0;
        CompleteFrontLocked();
        completed = true;
      }
    }
  }
  // Outside the lock, so that the device thread, woken, does not wait for it.
  if (completed) cv_.notify_all();
  return done;
}

void WaveOutDevice::PlaybackFailed(WaveResult result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_ == kWaveOk) failure_ = result == kWaveOk ? kWaveDeviceGone : result;
    // A device that went away takes nothing more: what is queued goes back,
    // and the owner learns it when it hands over the next buffer.
    offset_ = 0;
    while (!queue_.empty()) CompleteFrontLocked();
  }
  Wake();
}

void WaveOutDevice::DeliverDone(WaveHeader* header) {
  if (callback_) callback_(this, kWaveOutDone, instance_, header);
}

void WaveOutDevice::DeliverOpenClose(bool open) {
  if (callback_) callback_(this, open ? kWaveOutOpen : kWaveOutClose, instance_, nullptr);
}

void WaveOutDevice::FinishStream() {
  out_->ClearInterrupt();
  out_->Drain();
  if (pulls_) out_->PullFrom(nullptr);  // before the queue and the lock go
}

}  // namespace platform
