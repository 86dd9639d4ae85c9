#include "platform/wave_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <set>


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

bool WaveDevice::MoreDone() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !returned_.empty();
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
  Wake();
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
    Wake();
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
    Wake();
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

bool WaveDevice::SettledLocked(bool callbacksSettle) const {
  switch (phase_) {
    case Phase::InCallback: return callbacksSettle && OwnThreadsSettledLocked();
    case Phase::WaitingForWork: return !HasWorkLocked() && OwnThreadsSettledLocked();
    case Phase::InTransfer: return stream_->WaitingForTime() && OwnThreadsSettledLocked();
    case Phase::Ended: return true;
    default: return false;
  }
}

bool WaveDevice::WaitUntilAllSettled(uint32_t timeoutMs, bool callbacksSettle) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    bool settled = true;
    {
      std::lock_guard<std::mutex> reg(RegistryMutex());
      for (WaveDevice* d : Registry()) {
        std::lock_guard<std::mutex> lock(d->mutex_);
        if (!d->SettledLocked(callbacksSettle)) {
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

}  // namespace platform
