#pragma once
// Waveform output and input devices. Buffers are handed over in order and
// come back one by one, in the same order, through the completion callback,
// which runs on the device's own thread. The callback may call back into the
// device (write, add, prepare, unprepare, reset) without deadlock.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wave_backend.h"
#include "platform/wave_capture_ring.h"
#include "platform/wave_types.h"

namespace platform {

// What the two directions share: buffer bookkeeping, the device thread, reset
// and close.
class WaveDevice {
 public:
  WaveDevice(const WaveDevice&) = delete;
  WaveDevice& operator=(const WaveDevice&) = delete;
  // An open device is reset and closed. Not from the device's own callback,
  // which cannot wait for its own thread to end.
  virtual ~WaveDevice();

  WaveResult Prepare(WaveHeader* header);
  // Fails with kWaveStillPlaying while the device holds the buffer.
  WaveResult Unprepare(WaveHeader* header);
  // Returns every queued buffer through the callback, in order, with the done
  // bit set; waits for that unless called from the callback itself.
  WaveResult Reset();
  // Fails with kWaveStillPlaying while buffers are queued, and with
  // kWaveHandleBusy from the device's own callback. After success every other
  // call fails with kWaveInvalidHandle.
  WaveResult Close();

  bool IsOpen() const;
  // From the callback: more done buffers wait for it right after this one,
  // so that what a callback wakes others for can wait for the last of them.
  bool MoreDone() const;
  const WaveFormat& Format() const { return format_; }
  // A header's flags, read under the device's lock (they change on the
  // device's thread).
  uint32_t HeaderFlags(const WaveHeader* header) const;

  // True when every open device has nothing to do until (virtual) time
  // passes or someone hands it work; false when still busy after timeoutMs.
  // With callbacksSettle, a device thread inside its completion callback
  // counts as settled too (a callback that itself steps the clock).
  static bool WaitUntilAllSettled(uint32_t timeoutMs, bool callbacksSettle = false);

 protected:
  enum class Phase { Starting, Busy, WaitingForWork, InTransfer, InCallback, Ended };

  WaveDevice(const WaveFormat& format, WaveBackendStream* stream, std::shared_ptr<WaveBackend> backend);

  // Called by the derived class once it is fully built.
  void StartThread();
  // Queues a prepared header (under the lock); `accept` lets the backend
  // refuse it once the header itself has passed the checks.
  WaveResult QueueLocked(WaveHeader* header, const std::function<WaveResult()>& accept);
  // Moves every queued header (or only the first) to the returned list with the
  // done bit set; returns the ticket to wait for with WaitReturned().
  uint64_t ReturnQueuedLocked(bool firstOnly);
  void WaitReturned(std::unique_lock<std::mutex>& lock, uint64_t ticket);
  bool OnDeviceThread() const;  // needs the lock
  // Everyone waiting on the device: callers, its thread, and the direction's
  // own threads.
  void Wake() {
    cv_.notify_all();
    WakeOwnThreads();
  }
  bool OpenLocked() const { return open_; }
  bool EndedLocked() const { return phase_ == Phase::Ended; }
  bool QuitLocked() const { return quit_; }
  // Off the device thread: waits until no transfer or completion is under way
  // and nothing is left to do (a paused or empty device).
  void WaitIdleLocked(std::unique_lock<std::mutex>& lock);

  // The per-direction parts, called on the device thread with the lock held.
  virtual bool HasTransferWorkLocked() const = 0;
  // Does one step of work; may unlock around backend calls.
  virtual void TransferStepLocked(std::unique_lock<std::mutex>& lock) = 0;
  virtual void DeliverDone(WaveHeader* header) = 0;
  virtual void DeliverOpenClose(bool open) = 0;
  virtual void FinishStream() = 0;  // after the thread ended, before the stream goes
  // Direction-specific state to drop when queued buffers are taken back.
  virtual void OnResetLocked() = 0;
  // Whether the direction's own threads, beside the device thread, have
  // nothing to do until time passes or work arrives.
  virtual bool OwnThreadsSettledLocked() const { return true; }
  // The direction's own threads, where they wait apart from cv_ (so that the
  // busy device thread's notifications do not wake them for nothing).
  virtual void WakeOwnThreads() {}

  // The front buffer is complete: it goes to the returned list, done.
  void CompleteFrontLocked();
  // Ends the thread whatever is queued (queued buffers are returned first).
  void Shutdown();

  // Runs a transfer with the lock released and the phase set for observers.
  template <typename F>
  auto Unlocked(std::unique_lock<std::mutex>& lock, F&& f) {
    phase_ = Phase::InTransfer;
    stream_->ClearInterrupt();
    lock.unlock();
    struct Relock {
      std::unique_lock<std::mutex>& l;
      Phase& p;
      ~Relock() { l.lock(); p = Phase::Busy; }
    } relock{lock, phase_};
    return f();
  }

  const WaveFormat format_;
  std::shared_ptr<WaveBackend> backend_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<WaveHeader*> queue_;     // handed over, not yet done
  uint64_t generation_ = 0;           // bumped when queued buffers are taken back
  std::vector<uint8_t> scratch_;
  uint64_t returnedCount_ = 0;        // buffers ever moved to the returned list
  uint64_t deliveredCount_ = 0;       // ... and handed to the callback

 private:
  void Run();
  bool HasWorkLocked() const;
  bool SettledLocked(bool callbacksSettle) const;

  WaveBackendStream* stream_;
  std::thread thread_;
  std::thread::id threadId_;         // set by the thread itself, read under the lock
  std::deque<WaveHeader*> returned_;  // done, waiting for their callback
  bool quit_ = false;
  bool open_ = true;
  Phase phase_ = Phase::Starting;
};

class WaveOutDevice final : public WaveDevice, private WaveOutSource {
 public:
  using Callback = std::function<void(WaveOutDevice* device, uint32_t message, uintptr_t instance,
                                      WaveHeader* header)>;

  // Whether the device would accept the format, without opening it.
  static WaveResult Query(uint32_t deviceId, const WaveFormat& format);
  static WaveResult Open(std::unique_ptr<WaveOutDevice>& device, uint32_t deviceId,
                         const WaveFormat& format, Callback callback, uintptr_t instance);
  ~WaveOutDevice() override;

  WaveResult Write(WaveHeader* header);
  // Holds playback where it is; queued buffers stay queued.
  WaveResult Pause();
  WaveResult Restart();
  // The output level shared by the backend's output devices (the layer
  // scales samples by it): left level in the low half, right in the high.
  WaveResult GetVolume(uint32_t* volume) const;
  WaveResult SetVolume(uint32_t volume);

 private:
  WaveOutDevice(const WaveFormat& format, std::unique_ptr<WaveOutStream> stream,
                std::shared_ptr<WaveBackend> backend, Callback callback, uintptr_t instance);
  bool HasTransferWorkLocked() const override;
  void TransferStepLocked(std::unique_lock<std::mutex>& lock) override;
  void DeliverDone(WaveHeader* header) override;
  void DeliverOpenClose(bool open) override;
  void FinishStream() override;
  void OnResetLocked() override;
  // For a stream that pulls (the backend's thread).
  size_t Fill(uint8_t* data, size_t bytes) override;
  void PlaybackFailed(WaveResult result) override;

  std::unique_ptr<WaveOutStream> out_;
  bool pulls_ = false;              // the stream takes the data itself; the device thread only delivers
  Callback callback_;
  uintptr_t instance_;
  WaveResult failure_ = kWaveOk;    // the device went away: buffers are refused with this
  size_t offset_ = 0;               // bytes of the front buffer already played
  bool paused_ = false;
  bool streamPaused_ = false;
  bool discard_ = false;
};

// Input is captured into a ring of kCaptureRingMs, by a thread of the
// device's own or, for a stream that delivers (the sound server), by the
// backend's thread, and the device thread fills the queued buffers from that
// ring: a completion
// callback that takes long (a disk that stalls) holds up neither the
// capture nor, once it returns, the buffers, which then fill at once until
// the ring is drained. What overruns the ring is counted, not hidden.
class WaveInDevice final : public WaveDevice, private WaveInSink {
 public:
  using Callback = std::function<void(WaveInDevice* device, uint32_t message, uintptr_t instance,
                                      WaveHeader* header)>;

  static constexpr uint32_t kCaptureRingMs = 8000;
  // Input a stream delivers itself is handed to the buffers this much at a time.
  static constexpr uint32_t kBatchMs = 100;

  static WaveResult Query(uint32_t deviceId, const WaveFormat& format);
  static WaveResult Open(std::unique_ptr<WaveInDevice>& device, uint32_t deviceId,
                         const WaveFormat& format, Callback callback, uintptr_t instance);
  ~WaveInDevice() override;

  // Queues an empty buffer; bytesRecorded starts at 0. Once the device has
  // failed (it went away) and everything captured before has been handed
  // back, buffers are refused with the failure's code.
  WaveResult AddBuffer(WaveHeader* header);
  WaveResult Start();
  // Stops recording; what was captured until now still fills the queued
  // buffers, and a partly filled one is returned with what it holds; empty
  // buffers stay queued.
  WaveResult Stop();
  // After a stop, input captured that no buffer took because none was left
  // queued (a backlog after a slow write): taken directly, whole frames, up
  // to `max` bytes; 0 when nothing is left, or while started or a buffer is
  // queued (the buffers come first, so the order holds).
  size_t TakeCaptured(uint8_t* out, size_t max);

  // Input lost since open, in frames: the ring overran, or the backend
  // itself dropped some.
  uint64_t LostFrames() const;
  // Why the capture ended by itself (kWaveDeviceGone), or kWaveOk.
  WaveResult Failure() const;
  size_t RingBytes() const { return ring_.Capacity(); }

 private:
  enum class CapturePhase { Starting, Busy, Waiting, Reading, Ended };

  WaveInDevice(const WaveFormat& format, std::unique_ptr<WaveInStream> stream,
               std::shared_ptr<WaveBackend> backend, Callback callback, uintptr_t instance);
  bool HasTransferWorkLocked() const override;
  void TransferStepLocked(std::unique_lock<std::mutex>& lock) override;
  void DeliverDone(WaveHeader* header) override;
  void DeliverOpenClose(bool open) override;
  void FinishStream() override;
  void OnResetLocked() override;
  bool OwnThreadsSettledLocked() const override;
  void WakeOwnThreads() override { captureCv_.notify_all(); }
  // From a stream that delivers its own input (the backend's thread).
  void Captured(const uint8_t* data, size_t bytes) override;
  void CaptureFailed(WaveResult result) override;

  void CaptureRun();
  bool CaptureHasWorkLocked() const;
  // One read: as much as the front buffer still lacks beyond what the ring
  // holds (so that it completes when its last frame arrives), or the
  // backend's own size, or 10 ms when there is nothing to fill.
  size_t CaptureChunkLocked() const;
  // An eighth of the ring (1 s): what a read takes while a backlog waits.
  size_t BacklogChunk() const;
  // With the queue not empty.
  size_t BatchBytesLocked() const;
  void CaptureReadLocked(std::unique_lock<std::mutex>& lock);
  bool CaptureIdleLocked() const;
  // Whether what the ring holds goes into the front buffer now.
  bool RingFillsFrontLocked() const;
  bool FailedLocked() const { return failure_ != kWaveOk && ring_.Empty(); }

  std::unique_ptr<WaveInStream> in_;
  Callback callback_;
  uintptr_t instance_;
  bool started_ = false;
  bool streamRunning_ = false;
  uint64_t startRequests_ = 0;      // Start() calls waiting for the stream to start
  uint64_t startsDone_ = 0;
  WaveResult startResult_ = kWaveOk;
  uint64_t stopRequests_ = 0;       // Stop() calls waiting for the current buffer
  uint64_t stopsDone_ = 0;
  uint64_t stopTicket_ = 0;         // returned count to wait for after a stop

  std::thread capture_;
  std::condition_variable captureCv_;  // where the capture thread waits
  CapturePhase capturePhase_ = CapturePhase::Starting;
  bool pushes_ = false;             // the stream delivers; the capture thread only starts and stops it
  bool pushOpen_ = false;           // delivered input is kept (from its start until it is stopped or reset)
  WaveCaptureRing ring_;
  std::vector<uint8_t> captureScratch_;
  uint64_t lostFrames_ = 0;
  WaveResult failure_ = kWaveOk;
  bool failureHandedBack_ = false;  // the buffer that ends the capture has been returned
};

}  // namespace platform
