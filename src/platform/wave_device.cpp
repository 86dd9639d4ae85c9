#include "platform/wave_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <set>

#include "platform/wave_gain.h"

namespace platform {

namespace {

// Every open device, so that tests can wait for all of them to settle.
std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::set<WaveDevice*>& Registry() {
  static std::set<WaveDevice*> devices;
  return devices;
}

bool IsDefaultDevice(uint32_t deviceId) { return deviceId == kWaveMapper || deviceId == 0; }

// Whole frames of a buffer; a trailing partial frame is not played.
size_t UsableBytes(const WaveHeader* header, const WaveFormat& format) {
  return header->bufferLength / format.blockAlign * format.blockAlign;
}

// Transfers when the backend sets no limit and the device only drains input
// that has no buffer to go to.
size_t IdleChunkBytes(const WaveFormat& format) {
  return std::max<size_t>(format.blockAlign, WaveBytesPerSecond(format) / 100 / format.blockAlign * format.blockAlign);
}

}  // namespace

// --- WaveDevice ------------------------------------------------------------

WaveDevice::WaveDevice(const WaveFormat& format, WaveBackendStream* stream,
                       std::shared_ptr<WaveBackend> backend)
    : format_(format), backend_(std::move(backend)), stream_(stream) {}

WaveDevice::~WaveDevice() = default;

void WaveDevice::StartThread() {
  {
    std::lock_guard<std::mutex> reg(RegistryMutex());
    Registry().insert(this);
  }
  thread_ = std::thread([this] { Run(); });
}

bool WaveDevice::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

bool WaveDevice::OnDeviceThread() const { return std::this_thread::get_id() == threadId_; }

uint32_t WaveDevice::HeaderFlags(const WaveHeader* header) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return header ? header->flags : 0;
}

WaveResult WaveDevice::Prepare(WaveHeader* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return kWaveInvalidHandle;
  if (!header || !header->data) return kWaveInvalidParam;
  header->flags |= kWaveHeaderPrepared;
  return kWaveOk;
}

WaveResult WaveDevice::Unprepare(WaveHeader* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return kWaveInvalidHandle;
  if (!header) return kWaveInvalidParam;
  if (header->flags & kWaveHeaderInQueue) return kWaveStillPlaying;
  header->flags &= ~kWaveHeaderPrepared;
  return kWaveOk;
}

WaveResult WaveDevice::QueueLocked(WaveHeader* header, const std::function<WaveResult()>& accept) {
  if (!open_) return kWaveInvalidHandle;
  if (!header || !header->data) return kWaveInvalidParam;
  if (!(header->flags & kWaveHeaderPrepared)) return kWaveUnprepared;
  if (header->flags & kWaveHeaderInQueue) return kWaveStillPlaying;
  if (WaveResult r = accept()) return r;
  header->flags = (header->flags & ~kWaveHeaderDone) | kWaveHeaderInQueue;
  header->next = nullptr;
  queue_.push_back(header);
  cv_.notify_all();
  return kWaveOk;
}

void WaveDevice::CompleteFrontLocked() {
  WaveHeader* header = queue_.front();
  queue_.pop_front();
  header->flags = (header->flags & ~kWaveHeaderInQueue) | kWaveHeaderDone;
  returned_.push_back(header);
  ++returnedCount_;
}

uint64_t WaveDevice::ReturnQueuedLocked(bool firstOnly) {
  size_t n = firstOnly ? std::min<size_t>(1, queue_.size()) : queue_.size();
  for (size_t i = 0; i < n; ++i) CompleteFrontLocked();
  ++generation_;
  OnResetLocked();
  cv_.notify_all();
  return returnedCount_;
}

void WaveDevice::WaitReturned(std::unique_lock<std::mutex>& lock, uint64_t ticket) {
  if (OnDeviceThread()) return;  // the callback returns them once it is back in the loop
  cv_.wait(lock, [&] { return deliveredCount_ >= ticket || phase_ == Phase::Ended; });
}

WaveResult WaveDevice::Reset() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!open_) return kWaveInvalidHandle;
  uint64_t ticket = ReturnQueuedLocked(false);
  stream_->Interrupt();
  WaitReturned(lock, ticket);
  return kWaveOk;
}

WaveResult WaveDevice::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return kWaveInvalidHandle;
    if (OnDeviceThread()) return kWaveHandleBusy;
    if (!queue_.empty()) return kWaveStillPlaying;
    if (const WaveResult refused = stream_->RefuseClose()) return refused;
    quit_ = true;
    cv_.notify_all();
  }
  stream_->Interrupt();
  Shutdown();
  return kWaveOk;
}

void WaveDevice::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || OnDeviceThread()) return;
    if (!queue_.empty()) ReturnQueuedLocked(false);
    quit_ = true;
    cv_.notify_all();
  }
  stream_->Interrupt();
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard<std::mutex> reg(RegistryMutex());
    Registry().erase(this);
  }
  FinishStream();
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
}

void WaveDevice::WaitIdleLocked(std::unique_lock<std::mutex>& lock) {
  if (OnDeviceThread()) return;
  cv_.wait(lock, [&] { return phase_ == Phase::Ended || (phase_ == Phase::WaitingForWork && !HasWorkLocked()); });
}

bool WaveDevice::HasWorkLocked() const {
  return quit_ || !returned_.empty() || HasTransferWorkLocked();
}

bool WaveDevice::SettledLocked() const {
  switch (phase_) {
    case Phase::WaitingForWork: return !HasWorkLocked();
    case Phase::InTransfer: return stream_->WaitingForTime();
    case Phase::Ended: return true;
    default: return false;
  }
}

bool WaveDevice::WaitUntilAllSettled(uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    bool settled = true;
    {
      std::lock_guard<std::mutex> reg(RegistryMutex());
      for (WaveDevice* d : Registry()) {
        std::lock_guard<std::mutex> lock(d->mutex_);
        if (!d->SettledLocked()) {
          settled = false;
          break;
        }
      }
    }
    if (settled) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void WaveDevice::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  threadId_ = std::this_thread::get_id();
  phase_ = Phase::InCallback;
  lock.unlock();
  DeliverOpenClose(true);
  lock.lock();
  phase_ = Phase::Busy;
  for (;;) {
    if (!returned_.empty()) {
      WaveHeader* header = returned_.front();
      returned_.pop_front();
      phase_ = Phase::InCallback;
      lock.unlock();
      DeliverDone(header);
      lock.lock();
      phase_ = Phase::Busy;
      ++deliveredCount_;
      cv_.notify_all();
      continue;
    }
    if (quit_) break;
    if (HasTransferWorkLocked()) {
      TransferStepLocked(lock);
      continue;
    }
    phase_ = Phase::WaitingForWork;
    cv_.notify_all();  // a Pause may wait for the device to fall idle
    cv_.wait(lock);
    phase_ = Phase::Busy;
  }
  phase_ = Phase::InCallback;
  lock.unlock();
  DeliverOpenClose(false);
  lock.lock();
  phase_ = Phase::Ended;
  cv_.notify_all();
}

namespace {

// The format check both directions share; ask puts the question to the backend.
template <typename Ask>
WaveResult QueryFormat(uint32_t deviceId, const WaveFormat& format, Ask ask) {
  if (!IsDefaultDevice(deviceId)) return kWaveBadDeviceId;
  auto backend = CurrentWaveBackend();
  if (!backend) return kWaveNoDriver;
  if (format.formatTag == kWaveFormatGsm610) {
    // The program codes GSM itself and hands the device 16-bit PCM.
    if (format.channels != 1) return kWaveBadFormat;
    return ask(*backend, MakePcmFormat(format.samplesPerSec, 16, 1));
  }
  if (WaveResult r = CheckPcmFormat(format)) return r;
  return ask(*backend, format);
}

// The checks and the backend's stream both directions share; make builds the
// device around the stream and starts its thread.
template <typename Stream, typename Open, typename Make>
WaveResult OpenStream(uint32_t deviceId, const WaveFormat& format, Open open, Make make) {
  if (!IsDefaultDevice(deviceId)) return kWaveBadDeviceId;
  if (WaveResult r = CheckPcmFormat(format)) return r;
  auto backend = CurrentWaveBackend();
  if (!backend) return kWaveNoDriver;
  std::unique_ptr<Stream> stream;
  if (WaveResult r = open(*backend, stream)) return r;
  if (!stream) return kWaveError;
  return make(std::move(stream), std::move(backend));
}

}  // namespace

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
                     [deviceId](WaveBackend& b, const WaveFormat& f) { return b.QueryOutput(deviceId, f); });
}

WaveResult WaveOutDevice::Open(std::unique_ptr<WaveOutDevice>& device, uint32_t deviceId,
                               const WaveFormat& format, Callback callback, uintptr_t instance) {
  device.reset();
  return OpenStream<WaveOutStream>(
      deviceId, format,
      [&](WaveBackend& backend, std::unique_ptr<WaveOutStream>& stream) {
        return backend.OpenOutput(deviceId, format, stream);
      },
      [&](std::unique_ptr<WaveOutStream> stream, std::shared_ptr<WaveBackend> backend) {
        device.reset(new (std::nothrow)
                         WaveOutDevice(format, std::move(stream), std::move(backend), std::move(callback), instance));
        if (!device) return kWaveNoMemory;
        device->StartThread();
        return kWaveOk;
      });
}

WaveResult WaveOutDevice::Write(WaveHeader* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!OpenLocked()) return kWaveInvalidHandle;
  return QueueLocked(header, [this] { return out_->AcceptBuffer(); });
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
  return discard_ || paused_ != streamPaused_ || (!paused_ && !queue_.empty());
}

void WaveOutDevice::OnResetLocked() {
  offset_ = 0;
  discard_ = true;
}

void WaveOutDevice::TransferStepLocked(std::unique_lock<std::mutex>& lock) {
  if (discard_) {
    discard_ = false;
    Unlocked(lock, [&] { out_->Discard(); });
    return;
  }
  if (paused_ != streamPaused_) {
    bool pause = paused_;
    Unlocked(lock, [&] { pause ? out_->Pause() : out_->Resume(); });
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
}

// --- WaveInDevice ----------------------------------------------------------

WaveInDevice::WaveInDevice(const WaveFormat& format, std::unique_ptr<WaveInStream> stream,
                           std::shared_ptr<WaveBackend> backend, Callback callback, uintptr_t instance)
    : WaveDevice(format, stream.get(), std::move(backend)),
      in_(std::move(stream)),
      callback_(std::move(callback)),
      instance_(instance) {}

WaveInDevice::~WaveInDevice() { Shutdown(); }

WaveResult WaveInDevice::Query(uint32_t deviceId, const WaveFormat& format) {
  return QueryFormat(deviceId, format,
                     [deviceId](WaveBackend& b, const WaveFormat& f) { return b.QueryInput(deviceId, f); });
}

WaveResult WaveInDevice::Open(std::unique_ptr<WaveInDevice>& device, uint32_t deviceId,
                              const WaveFormat& format, Callback callback, uintptr_t instance) {
  device.reset();
  return OpenStream<WaveInStream>(
      deviceId, format,
      [&](WaveBackend& backend, std::unique_ptr<WaveInStream>& stream) {
        return backend.OpenInput(deviceId, format, stream);
      },
      [&](std::unique_ptr<WaveInStream> stream, std::shared_ptr<WaveBackend> backend) {
        device.reset(new (std::nothrow)
                         WaveInDevice(format, std::move(stream), std::move(backend), std::move(callback), instance));
        if (!device) return kWaveNoMemory;
        device->StartThread();
        return kWaveOk;
      });
}

WaveResult WaveInDevice::AddBuffer(WaveHeader* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!OpenLocked()) return kWaveInvalidHandle;
  bool wasEmpty = queue_.empty();
  WaveResult r = QueueLocked(header, [this] { return in_->AcceptBuffer(); });
  if (r != kWaveOk) return r;
  header->bytesRecorded = 0;
  // The thread may be capturing into nowhere; the buffer takes over from now.
  if (wasEmpty) in_->Interrupt();
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
  in_->Interrupt();  // the samples already captured still go into the current buffer
  lock.lock();
  if (OnDeviceThread()) return kWaveOk;
  cv_.wait(lock, [&] { return stopsDone_ >= ticket || EndedLocked(); });
  WaitReturned(lock, stopTicket_);
  return kWaveOk;
}

void WaveInDevice::OnResetLocked() { started_ = false; }

bool WaveInDevice::HasTransferWorkLocked() const {
  return started_ || streamRunning_ || startsDone_ < startRequests_ || stopsDone_ < stopRequests_;
}

void WaveInDevice::TransferStepLocked(std::unique_lock<std::mutex>& lock) {
  if (started_ && stopsDone_ < stopRequests_) {  // started again before the stop was handled
    stopTicket_ = returnedCount_;
    stopsDone_ = stopRequests_;
    Wake();
    return;
  }
  if (started_ && !streamRunning_) {
    WaveResult r = Unlocked(lock, [&] { return in_->Start(); });
    streamRunning_ = r == kWaveOk;
    if (r != kWaveOk) started_ = false;
    startResult_ = r;
    startsDone_ = startRequests_;
    Wake();
    return;
  }
  if (startsDone_ < startRequests_) {
    startResult_ = kWaveOk;
    startsDone_ = startRequests_;
    Wake();
    return;
  }
  if (!started_) {
    if (streamRunning_) {
      Unlocked(lock, [&] { in_->Stop(); });
      streamRunning_ = false;
      return;
    }
    if (stopsDone_ < stopRequests_) {
      if (!queue_.empty() && queue_.front()->bytesRecorded > 0) CompleteFrontLocked();
      stopTicket_ = returnedCount_;
      stopsDone_ = stopRequests_;
      Wake();
    }
    return;
  }
  size_t limit = in_->ChunkBytes();
  if (limit) limit = std::max<size_t>(limit / format_.blockAlign, 1) * format_.blockAlign;
  WaveHeader* header = queue_.empty() ? nullptr : queue_.front();
  size_t chunk;
  if (header) {
    size_t usable = UsableBytes(header, format_);
    if (header->bytesRecorded >= usable) {
      CompleteFrontLocked();
      return;
    }
    chunk = usable - header->bytesRecorded;
    if (limit) chunk = std::min(chunk, limit);
  } else {
    // Nobody to take the data: it is captured and dropped, as time goes on.
    chunk = limit ? limit : IdleChunkBytes(format_);
  }
  scratch_.resize(chunk);
  uint64_t generation = generation_;
  size_t got = 0;
  WaveResult r = Unlocked(lock, [&] { return in_->Read(scratch_.data(), chunk, got); });
  got = std::min(got, chunk);
  if (!header || generation != generation_) return;
  std::memcpy(header->data + header->bytesRecorded, scratch_.data(), got);
  header->bytesRecorded += static_cast<uint32_t>(got);
  if (r != kWaveOk) CompleteFrontLocked();  // hand back what arrived before the failure
}

void WaveInDevice::DeliverDone(WaveHeader* header) {
  if (callback_) callback_(this, kWaveInData, instance_, header);
}

void WaveInDevice::DeliverOpenClose(bool open) {
  if (callback_) callback_(this, open ? kWaveInOpen : kWaveInClose, instance_, nullptr);
}

void WaveInDevice::FinishStream() {
  if (streamRunning_) {
    in_->ClearInterrupt();
    in_->Stop();
    streamRunning_ = false;
  }
}

}  // namespace platform
