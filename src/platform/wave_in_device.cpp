#include <algorithm>
#include <cstring>
#include <new>

#include "platform/wave_device.h"
#include "platform/wave_device_internal.h"

namespace platform {

using namespace wave_detail;

namespace {

size_t RingCapacity(const WaveFormat& format) {
  const uint64_t bytes = static_cast<uint64_t>(WaveBytesPerSecond(format)) * WaveInDevice::kCaptureRingMs / 1000;
  return static_cast<size_t>((bytes + format.blockAlign - 1) / format.blockAlign * format.blockAlign);
}

}  // namespace

WaveInDevice::WaveInDevice(const WaveFormat& format, std::unique_ptr<WaveInStream> stream,
                           std::shared_ptr<WaveBackend> backend, Callback callback, uintptr_t instance)
    : WaveDevice(format, stream.get(), std::move(backend)),
      in_(std::move(stream)),
      callback_(std::move(callback)),
      instance_(instance),
      ring_(RingCapacity(format)) {}

WaveInDevice::~WaveInDevice() { Shutdown(); }

WaveResult WaveInDevice::Query(uint32_t deviceId, const WaveFormat& format) {
  return QueryFormat(deviceId, format, [deviceId](WaveBackend& b, const WaveFormat& f) {
    return b.QueryInput(deviceId, CurrentWaveRoute(true), f);
  });
}

WaveResult WaveInDevice::Open(std::unique_ptr<WaveInDevice>& device, uint32_t deviceId,
                              const WaveFormat& format, Callback callback, uintptr_t instance) {
  device.reset();
  return OpenStream<WaveInStream>(
      deviceId, format,
      [&](WaveBackend& backend, std::unique_ptr<WaveInStream>& stream) {
        return backend.OpenInput(deviceId, CurrentWaveRoute(true), format, stream);
      },
      [&](std::unique_ptr<WaveInStream> stream, std::shared_ptr<WaveBackend> backend) {
        device.reset(new (std::nothrow)
                         WaveInDevice(format, std::move(stream), std::move(backend), std::move(callback), instance));
        if (!device) return kWaveNoMemory;
        device->pushes_ = device->in_->DeliverTo(device.get());
        device->StartThread();
        device->capture_ = std::thread([d = device.get()] { d->CaptureRun(); });
        return kWaveOk;
      });
}

WaveResult WaveInDevice::AddBuffer(WaveHeader* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!OpenLocked()) return kWaveInvalidHandle;
  WaveResult r = QueueLocked(header, [this] { return FailedLocked() ? failure_ : in_->AcceptBuffer(); });
  if (r != kWaveOk) return r;
  header->bytesRecorded = 0;
  return r;
}

WaveResult WaveInDevice::Start() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!OpenLocked()) return kWaveInvalidHandle;
  if (started_) return kWaveOk;
  started_ = true;
  uint64_t ticket = ++startRequests_;
  Wake();
  if (OnDeviceThread()) return kWaveOk;  // starts once the callback returns
  cv_.wait(lock, [&] { return startsDone_ >= ticket || !OpenLocked(); });
  return startsDone_ >= ticket ? startResult_ : kWaveInvalidHandle;
}

WaveResult WaveInDevice::Stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!OpenLocked()) return kWaveInvalidHandle;
  started_ = false;
  uint64_t ticket = ++stopRequests_;
  Wake();
  lock.unlock();
  in_->Interrupt();  // the samples already captured still go into the buffers
  lock.lock();
  if (OnDeviceThread()) return kWaveOk;
  cv_.wait(lock, [&] { return stopsDone_ >= ticket || EndedLocked(); });
  WaitReturned(lock, stopTicket_);
  return kWaveOk;
}

size_t WaveInDevice::TakeCaptured(uint8_t* out, size_t max) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!OpenLocked() || started_ || !queue_.empty() || stopsDone_ < stopRequests_) return 0;
  return ring_.Pop(out, max / format_.blockAlign * format_.blockAlign);
}

uint64_t WaveInDevice::LostFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lostFrames_ + in_->DroppedFrames();
}

WaveResult WaveInDevice::Failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

void WaveInDevice::OnResetLocked() {
  started_ = false;
  pushOpen_ = false;  // what the stream still delivers belonged to the buffers taken back
  // Taken back with the buffers: what was captured for them goes too.
  ring_.Clear();
}

// --- the device thread: from the ring into the buffers ----------------------

bool WaveInDevice::CaptureIdleLocked() const {
  return !streamRunning_ && (capturePhase_ == CapturePhase::Waiting || capturePhase_ == CapturePhase::Ended);
}

bool WaveInDevice::RingFillsFrontLocked() const {
  if (ring_.Empty() || queue_.empty()) return false;
  if (!pushes_ || stopsDone_ < stopRequests_ || failure_ != kWaveOk) return true;
  // Delivered input moves on only when it completes the front buffer (Captured
  // wakes the device thread for it less often still).
  const WaveHeader* front = queue_.front();
  return front->bytesRecorded + ring_.Size() >= UsableBytes(front, format_);
}

bool WaveInDevice::HasTransferWorkLocked() const {
  if (RingFillsFrontLocked()) return true;
  if (FailedLocked() && !failureHandedBack_ && !queue_.empty()) return true;
  if (started_ && stopsDone_ < stopRequests_) return true;
  return stopsDone_ < stopRequests_ && CaptureIdleLocked();
}

void WaveInDevice::TransferStepLocked(std::unique_lock<std::mutex>&) {
  if (started_ && stopsDone_ < stopRequests_) {  // started again before the stop was handled
    stopTicket_ = returnedCount_;
    stopsDone_ = stopRequests_;
    Wake();
    return;
  }
  if (RingFillsFrontLocked()) {
    // Every buffer the ring completes goes back in one run, so that the
    // callback can tell (MoreDone) and wake others once for all of them.
    do {
      WaveHeader* header = queue_.front();
      const size_t usable = UsableBytes(header, format_);
      if (header->bytesRecorded < usable) {
        const size_t room = usable - header->bytesRecorded;
        const size_t take = std::min(room, ring_.Size() / format_.blockAlign * format_.blockAlign);
        header->bytesRecorded += static_cast<uint32_t>(ring_.Pop(reinterpret_cast<uint8_t*>(header->data) + header->bytesRecorded, take));
      }
      if (header->bytesRecorded < usable) break;
      CompleteFrontLocked();
    } while (RingFillsFrontLocked());
    // Only a capture of input that waits for its reader ever waits for room.
    if (in_->WaitsForReader()) WakeOwnThreads();
    return;
  }
  if (FailedLocked() && !failureHandedBack_ && !queue_.empty()) {
    // Everything captured before the failure is in the buffers: the one
    // being filled goes back as it is, and the next hand-over is refused.
    failureHandedBack_ = true;
    CompleteFrontLocked();
    return;
  }
  if (stopsDone_ < stopRequests_ && CaptureIdleLocked()) {
    if (!queue_.empty() && queue_.front()->bytesRecorded > 0) CompleteFrontLocked();
    stopTicket_ = returnedCount_;
    stopsDone_ = stopRequests_;
    Wake();
  }
}

// --- the capture thread: from the backend into the ring ---------------------

bool WaveInDevice::CaptureHasWorkLocked() const {
  if (QuitLocked()) return true;
  if (started_ && !streamRunning_ && failure_ == kWaveOk) return true;
  if (startsDone_ < startRequests_) return true;
  if (!started_ && streamRunning_) return true;
  if (started_ && streamRunning_ && failure_ == kWaveOk) {
    if (pushes_) return false;  // the stream hands its input over itself
    // Input that waits for its reader is read again once the ring has room
    // for a good part of a second, not for every buffer taken from it.
    return !in_->WaitsForReader() || ring_.Free() >= BacklogChunk();
  }
  return false;
}

bool WaveInDevice::OwnThreadsSettledLocked() const {
  switch (capturePhase_) {
    case CapturePhase::Waiting: return !CaptureHasWorkLocked();
    case CapturePhase::Reading: return in_->WaitingForTime();
    case CapturePhase::Ended: return true;
    default: return false;
  }
}

size_t WaveInDevice::BatchBytesLocked() const {
  const size_t tenth = std::max<size_t>(
      format_.blockAlign, WaveBytesPerSecond(format_) / (1000 / kBatchMs) / format_.blockAlign * format_.blockAlign);
  // Rounded up to whole buffers (taking the front one's size for those
  // after it): a wake that fills them leaves nothing in the ring waiting for
  // the next, so 40 ms buffers go three to a wake instead of two or three.
  const WaveHeader* front = queue_.front();
  const size_t usable = UsableBytes(front, format_);
  const size_t room = usable - std::min<size_t>(usable, front->bytesRecorded);
  if (room >= tenth || usable == 0) return room;
  return room + (tenth - room + usable - 1) / usable * usable;
}

size_t WaveInDevice::BacklogChunk() const {
  return std::max<size_t>(format_.blockAlign, ring_.Capacity() / 8 / format_.blockAlign * format_.blockAlign);
}

size_t WaveInDevice::CaptureChunkLocked() const {
  const size_t align = format_.blockAlign;
  // A backlog (the owner is behind): large reads, fewer wake-ups.
  if (ring_.Size() >= ring_.Capacity() / 4) return BacklogChunk();
  if (size_t limit = in_->ChunkBytes()) return std::max<size_t>(limit / align, 1) * align;
  if (!queue_.empty()) {
    const WaveHeader* front = queue_.front();
    const size_t usable = UsableBytes(front, format_);
    const size_t lacking = usable > front->bytesRecorded ? usable - front->bytesRecorded : 0;
    if (lacking > ring_.Size()) return std::max(align, (lacking - ring_.Size()) / align * align);
  }
  return IdleChunkBytes(format_);
}

void WaveInDevice::CaptureReadLocked(std::unique_lock<std::mutex>& lock) {
  size_t chunk = CaptureChunkLocked();
  const bool waits = in_->WaitsForReader();
  if (waits) chunk = std::min(chunk, ring_.Free() / format_.blockAlign * format_.blockAlign);
  captureScratch_.resize(std::max(captureScratch_.size(), chunk));
  const uint64_t generation = generation_;
  capturePhase_ = CapturePhase::Reading;
  in_->ClearInterrupt();
  lock.unlock();
  size_t got = 0;
  const WaveResult r = in_->Read(captureScratch_.data(), chunk, got);
  lock.lock();
  capturePhase_ = CapturePhase::Busy;
  got = std::min(got, chunk) / format_.blockAlign * format_.blockAlign;
  if (generation == generation_) {
    const size_t kept = ring_.Push(captureScratch_.data(), got);
    lostFrames_ += (got - kept) / format_.blockAlign;
  }
  // Any failed read ends the capture: a device that cannot be read now will
  // not be read again, and a loop of failing reads would only spin.
  if (r != kWaveOk) failure_ = r == kWaveDeviceGone ? r : kWaveDeviceGone;
  Wake();
}

void WaveInDevice::CaptureRun() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    capturePhase_ = CapturePhase::Busy;
    if (QuitLocked()) break;
    if (started_ && !streamRunning_ && failure_ == kWaveOk) {
      in_->ClearInterrupt();
      pushOpen_ = pushes_;  // input may arrive before Start returns
      lock.unlock();
      const WaveResult r = in_->Start();
      lock.lock();
      streamRunning_ = r == kWaveOk;
      if (r != kWaveOk) started_ = pushOpen_ = false;
      startResult_ = r;
      startsDone_ = startRequests_;
      Wake();
      continue;
    }
    if (startsDone_ < startRequests_) {  // running already, or failed before
      startResult_ = failure_;
      if (failure_ != kWaveOk) started_ = false;
      startsDone_ = startRequests_;
      Wake();
      continue;
    }
    if (!started_ && streamRunning_) {
      in_->ClearInterrupt();
      lock.unlock();
      in_->Stop();  // what it delivers until it has stopped is kept
      lock.lock();
      streamRunning_ = pushOpen_ = false;
      Wake();
      continue;
    }
    if (CaptureHasWorkLocked()) {
      CaptureReadLocked(lock);
      continue;
    }
    capturePhase_ = CapturePhase::Waiting;
    cv_.notify_all();  // a stop waits for the capture to fall idle
    captureCv_.wait(lock);
  }
  if (streamRunning_) {
    in_->ClearInterrupt();
    lock.unlock();
    in_->Stop();
    lock.lock();
    streamRunning_ = pushOpen_ = false;
  }
  capturePhase_ = CapturePhase::Ended;
  Wake();
}

// --- a stream that delivers: from the backend's thread into the ring --------

void WaveInDevice::Captured(const uint8_t* data, size_t bytes) {
  bool fill;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pushOpen_) return;
    bytes = bytes / format_.blockAlign * format_.blockAlign;
    const size_t kept = ring_.Push(data, bytes);
    lostFrames_ += (bytes - kept) / format_.blockAlign;
    // A tenth of a second or more at a time, in whole buffers: the device
    // thread wakes at most ten times a second, however small the pieces the
    // server sends and the buffers are; once awake it fills all it can.
    fill = RingFillsFrontLocked() && (ring_.Size() >= BatchBytesLocked() || stopsDone_ < stopRequests_);
  }
  // Outside the lock, so that the device thread, woken, does not wait for it.
  if (fill) cv_.notify_all();
}

void WaveInDevice::CaptureFailed(WaveResult result) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failure_ == kWaveOk) failure_ = result == kWaveOk ? kWaveDeviceGone : result;
  Wake();
}

void WaveInDevice::DeliverDone(WaveHeader* header) {
  if (callback_) callback_(this, kWaveInData, instance_, header);
}

void WaveInDevice::DeliverOpenClose(bool open) {
  if (callback_) callback_(this, open ? kWaveInOpen : kWaveInClose, instance_, nullptr);
}

void WaveInDevice::FinishStream() {
  // The capture thread saw the quit with the device thread and stops the
  // stream itself.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Wake();
  }
  in_->Interrupt();
  if (capture_.joinable()) capture_.join();
  if (pushes_) in_->DeliverTo(nullptr);  // before the ring and the lock go
}

}  // namespace platform
