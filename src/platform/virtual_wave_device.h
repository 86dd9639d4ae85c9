#pragma once
// An in-process waveform device for tests and simulations. Time is virtual:
// it runs at real time times a speed factor, or only when the test steps it,
// so timing can be checked without sleeping. Output is captured as bytes with
// the virtual time at which each buffer completed, up to fixed limits, so
// that a device left playing for days keeps a bounded amount; input comes
// from given samples or a signal generator; failures can be injected.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/wave_backend.h"
#include "platform/wave_types.h"

namespace platform {

class VirtualWaveClock {
 public:
  // Starts stepped (manual) at time 0.
  VirtualWaveClock();

  // Real time multiplied by `factor` (> 0).
  void RunAtSpeed(double factor);
  // Time stands still until Advance().
  void RunManually();
  void Advance(int64_t micros);
  int64_t NowMicros() const;
  bool IsManual() const;

  // One thread's wait for a moment in time; its fields belong to the clock's
  // lock.
  struct Waiter {
    bool interrupted = false;
    bool waiting = false;
    int64_t deadline = 0;
  };
  // Blocks until the time reaches `deadline` (true) or the waiter is
  // interrupted (false).
  bool WaitUntil(Waiter& waiter, int64_t deadline);
  void Interrupt(Waiter& waiter);
  void ClearInterrupt(Waiter& waiter);
  // True while the waiter waits for a time still in the future.
  bool WaitingForTime(const Waiter& waiter) const;

 private:
  int64_t NowLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool manual_ = true;
  double factor_ = 1.0;
  int64_t base_ = 0;                         // virtual time at the last rebase
  std::chrono::steady_clock::time_point realBase_;
};

// What the input produces when no samples are given.
struct VirtualWaveSignal {
  enum class Kind { Silence, Sine, Speech };
  Kind kind = Kind::Silence;
  double level = 0.5;        // peak, as a fraction of full scale
  double frequencyHz = 440;
  // Speech-like bursts: a tone for onMs, silence for offMs, repeating from
  // time 0 (the first frame of the input).
  uint32_t onMs = 300;
  uint32_t offMs = 700;
};

// Injectable failures. Codes are returned as they stand; kWaveOk = no failure.
struct VirtualWaveFailures {
  WaveResult openOutput = kWaveOk;
  WaveResult openInput = kWaveOk;
  // Every query and open fails with this (kWaveNoDriver: as without a sound device).
  WaveResult noDevice = kWaveOk;
  bool refuseFormats = false;          // every query and open: kWaveBadFormat
  uint32_t refuseRate = 0;             // only this sample rate refused (0: none)
  // The buffer hand-over with this number (1 = the first after open) and every
  // later one fails with `queueError`; 0 never.
  uint32_t failWriteFrom = 0;
  uint32_t failAddFrom = 0;
  WaveResult queueError = kWaveError;
  // The output query alone fails with this (the device opens all the same).
  WaveResult queryOutput = kWaveOk;
  // Closing an output device fails with this (the device object still goes
  // when its owner lets it go).
  WaveResult closeOutput = kWaveOk;
};

class VirtualWaveDevice : public WaveBackend {
 public:
  struct CompletedBuffer {
    size_t endOffset;       // byte offset in all that was played where the buffer ended
    size_t size;            // bytes it carried
    int64_t completedMicros;
  };
  // What one open output device played: its first bytes and buffers, up to
  // the limits, and how much it played in all.
  struct Capture {
    WaveFormat format{};
    std::vector<uint8_t> bytes;
    std::vector<CompletedBuffer> buffers;
    uint64_t playedBytes = 0;    // every byte, kept or not
    uint64_t playedBuffers = 0;  // every completed buffer, kept or not
  };
  // How much is kept: of each capture its first `bytes` and `buffers`, and
  // of all captures the last `captures` (older ones are let go).
  struct CaptureLimits {
    size_t bytes = 16u << 20;
    size_t buffers = 1u << 16;
    size_t captures = 256;
  };

  VirtualWaveDevice();

  // Creates a device, installs it as the process's backend and returns it.
  static std::shared_ptr<VirtualWaveDevice> Install();

  VirtualWaveClock& Clock() { return clock_; }
  // Advances the clock and waits until every device has settled again.
  bool Step(int64_t micros, uint32_t timeoutMs = 10000);
  bool StepMs(double ms, uint32_t timeoutMs = 10000) {
    return Step(static_cast<int64_t>(ms * 1000.0 + 0.5), timeoutMs);
  }
  // Waits until every open device waits for time or for work.
  static bool WaitUntilSettled(uint32_t timeoutMs = 10000);
  // Virtual duration of `bytes` in `format`, rounded up to whole microseconds.
  static int64_t DurationMicros(const WaveFormat& format, size_t bytes);

  // Input: these bytes first (in the device format), then the signal.
  void SetInputBytes(std::vector<uint8_t> bytes);
  void SetInputSignal(const VirtualWaveSignal& signal);
  // Each input opened from now on delivers this much virtual time of input
  // and then nothing more, as if time stood still for it (0: no end). Lets a
  // simulation record exactly that long at any speed.
  void SetInputLimitMicros(int64_t micros);
  // Live: the input runs on by the clock whether or not it is read, as a
  // microphone does, so a reader that falls behind loses input. Otherwise
  // (the default) input waits for its reader however long it takes.
  void SetInputLive(bool live);

  // The devices listed, by direction; an open or query whose route names a
  // device not listed fails with kWaveDeviceMissing (an empty route is the
  // default and always there). Watchers are told of every change, on the
  // calling thread.
  void SetEndpoints(bool input, std::vector<WaveEndpoint> endpoints);
  // Takes a device away: streams open on it fail with kWaveDeviceGone from
  // their next transfer, and it leaves the list.
  void RemoveEndpoint(bool input, const std::string& id);
  // The route each device of a direction was last opened with.
  WaveRoute LastRoute(bool input) const;
  // Whether the speech signal is sounding at this time from input start.
  static bool SpeechOnAt(const VirtualWaveSignal& signal, double seconds);

  void SetFailures(const VirtualWaveFailures& failures);

  // Applies to captures from the next output open on.
  void SetCaptureLimits(const CaptureLimits& limits);
  // The captures kept, one per output open, oldest first.
  std::vector<Capture> Captures() const;
  Capture LastCapture() const;
  int OutputOpens() const;
  int InputOpens() const;
  // The bytes each input opened so far has handed to its reader, in the
  // order of opening.
  std::vector<uint64_t> InputsDelivered() const;

  const char* Name() const override { return "virtual"; }
  WaveResult QueryOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) override;
  WaveResult QueryInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) override;
  WaveResult OpenOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                        std::unique_ptr<WaveOutStream>& stream) override;
  WaveResult OpenInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                       std::unique_ptr<WaveInStream>& stream) override;
  std::vector<WaveEndpoint> Endpoints(bool input) override;
  int WatchEndpoints(std::function<void()> changed) override;
  void UnwatchEndpoints(int token) override;

 private:
  class OutStream;
  class InStream;
  friend class OutStream;
  friend class InStream;

  WaveResult CheckFormat(const WaveFormat& format) const;
  WaveResult CheckRoute(bool input, const WaveRoute& route) const;
  bool GoneLocked(bool input, const std::string& id) const;
  void NotifyWatchers();
  // Fills `bytes` of input starting at byte `position` of the input.
  void Generate(const WaveFormat& format, uint64_t position, uint8_t* data, size_t bytes) const;

  VirtualWaveClock clock_;
  mutable std::mutex mutex_;
  VirtualWaveFailures failures_;
  std::vector<uint8_t> inputBytes_;
  VirtualWaveSignal signal_;
  int64_t inputLimitMicros_ = 0;
  bool inputLive_ = false;
  std::vector<WaveEndpoint> endpoints_[2];  // [output, input]
  std::vector<std::string> gone_[2];
  WaveRoute lastRoute_[2];
  std::mutex watchMutex_;
  std::vector<std::pair<int, std::function<void()>>> watchers_;
  int nextWatch_ = 1;
  CaptureLimits limits_;
  // captures_[i] belongs to output open number firstCapture_ + i.
  std::deque<Capture> captures_;
  size_t firstCapture_ = 0;
  // The capture of open number `number`, null when it was let go.
  Capture* CaptureAt(size_t number);
  int outputOpens_ = 0;
  int inputOpens_ = 0;
  std::vector<uint64_t> inputsDelivered_;
};

}  // namespace platform
