#include "platform/virtual_wave_device.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <limits>
#include <numbers>
#include <thread>

#include "platform/wave_device.h"

namespace platform {

// --- VirtualWaveClock ------------------------------------------------------

VirtualWaveClock::VirtualWaveClock() : realBase_(std::chrono::steady_clock::now()) {}

int64_t VirtualWaveClock::NowLocked() const {
  if (manual_) return base_;
  auto real = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - realBase_);
  return base_ + static_cast<int64_t>(static_cast<double>(real.count()) * factor_);
}

bool VirtualWaveClock::IsManual() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return manual_;
}

int64_t VirtualWaveClock::NowMicros() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return NowLocked();
}

void VirtualWaveClock::RunAtSpeed(double factor) {
  std::lock_guard<std::mutex> lock(mutex_);
  base_ = NowLocked();
  realBase_ = std::chrono::steady_clock::now();
  factor_ = factor > 0 ? factor : 1.0;
  manual_ = false;
  cv_.notify_all();
}

void VirtualWaveClock::RunManually() {
  std::lock_guard<std::mutex> lock(mutex_);
  base_ = NowLocked();
  manual_ = true;
  cv_.notify_all();
}

void VirtualWaveClock::Advance(int64_t micros) {
  std::lock_guard<std::mutex> lock(mutex_);
  base_ += std::max<int64_t>(micros, 0);
  cv_.notify_all();
}

bool VirtualWaveClock::WaitUntil(Waiter& waiter, int64_t deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  waiter.waiting = true;
  waiter.deadline = deadline;
  bool reached = false;
  for (;;) {
    int64_t now = NowLocked();
    if (now >= deadline) {
      reached = true;
      break;
    }
    if (waiter.interrupted) break;
    if (manual_) {
      cv_.wait(lock);
    } else {
      // At most a second at a time, so that a deadline far off cannot overflow the wait.
      const double real = std::min(std::ceil(static_cast<double>(deadline - now) / factor_), 1e6);
      cv_.wait_for(lock, std::chrono::microseconds(std::max(static_cast<int64_t>(real), int64_t{1})));
    }
  }
  waiter.waiting = false;
  return reached;
}

void VirtualWaveClock::Interrupt(Waiter& waiter) {
  std::lock_guard<std::mutex> lock(mutex_);
  waiter.interrupted = true;
  cv_.notify_all();
}

void VirtualWaveClock::ClearInterrupt(Waiter& waiter) {
  std::lock_guard<std::mutex> lock(mutex_);
  waiter.interrupted = false;
}

bool VirtualWaveClock::WaitingForTime(const Waiter& waiter) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiter.waiting && !waiter.interrupted && NowLocked() < waiter.deadline;
}

// --- streams ---------------------------------------------------------------

namespace {

// Bytes of `format` whose time has fully passed `elapsed` microseconds into a
// segment, in whole frames.
size_t BytesIn(const WaveFormat& format, int64_t elapsed) {
  if (elapsed <= 0) return 0;
  uint64_t bytes = static_cast<uint64_t>(elapsed) * WaveBytesPerSecond(format) / 1000000;
  return static_cast<size_t>(bytes / format.blockAlign * format.blockAlign);
}

}  // namespace

// Time runs in segments: a segment starts when data follows a gap (start,
// underrun, pause) and every byte in it has its fixed moment, so stepping the
// clock in any slices gives the same result.
class VirtualWaveDevice::OutStream final : public WaveOutStream {
 public:
  OutStream(VirtualWaveDevice& owner, const WaveFormat& format, size_t capture, const CaptureLimits& limits,
            std::string device)
      : owner_(owner), format_(format), capture_(capture), limits_(limits), device_(std::move(device)) {}

  void Interrupt() override { owner_.clock_.Interrupt(waiter_); }
  void ClearInterrupt() override { owner_.clock_.ClearInterrupt(waiter_); }
  bool WaitingForTime() const override { return owner_.clock_.WaitingForTime(waiter_); }
  WaveResult RefuseClose() const override {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    return owner_.failures_.closeOutput;
  }

  WaveResult AcceptBuffer() override {
    int64_t now = owner_.clock_.NowMicros();
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    // The device's own thread lives at the moment its last buffer completed:
    // a buffer queued from the completion callback follows on without a gap,
    // however far the clock was stepped past it.
    if (std::this_thread::get_id() == deviceThread_) now = std::min(now, completedAt_);
    ++handed_;
    const VirtualWaveFailures& f = owner_.failures_;
    if (f.failWriteFrom && handed_ >= f.failWriteFrom) return f.queueError;
    handedAt_.push_back(now);
    return kWaveOk;
  }

  WaveResult Write(const uint8_t* data, size_t bytes, size_t& written) override {
    VirtualWaveClock& clock = owner_.clock_;
    int64_t available;
    {
      std::lock_guard<std::mutex> lock(owner_.mutex_);
      if (owner_.GoneLocked(false, device_)) {
        written = 0;
        return kWaveDeviceGone;
      }
      available = std::max(handedAt_.empty() ? clock.NowMicros() : handedAt_.front(), resumedAt_);
    }
    // Data that arrived (or was released by a restart) after the previous data
    // ended starts a new segment; otherwise it follows on without a gap, however
    // late this thread got round to it.
    if (segmentStart_ + DurationMicros(format_, segmentBytes_) < available) {
      segmentStart_ = available;
      segmentBytes_ = 0;
    }
    int64_t target = segmentStart_ + DurationMicros(format_, segmentBytes_ + bytes);
    size_t n = bytes;
    if (!clock.WaitUntil(waiter_, target)) {
      size_t played = BytesIn(format_, clock.NowMicros() - segmentStart_);
      n = played > segmentBytes_ ? std::min(bytes, played - segmentBytes_) : 0;
    }
    segmentBytes_ += n;
    bufferBytes_ += n;
    {
      std::lock_guard<std::mutex> lock(owner_.mutex_);
      if (Capture* c = owner_.CaptureAt(capture_)) {
        const size_t keep = std::min(n, limits_.bytes - std::min(limits_.bytes, c->bytes.size()));
        c->bytes.insert(c->bytes.end(), data, data + keep);
        c->playedBytes += n;
      }
    }
    written = n;
    return kWaveOk;
  }

  void BufferDone() override {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    completedAt_ = segmentStart_ + DurationMicros(format_, segmentBytes_);
    deviceThread_ = std::this_thread::get_id();
    if (Capture* c = owner_.CaptureAt(capture_)) {
      if (c->buffers.size() < limits_.buffers) {
        c->buffers.push_back({static_cast<size_t>(c->playedBytes), bufferBytes_, completedAt_});
      }
      ++c->playedBuffers;
    }
    bufferBytes_ = 0;
    if (!handedAt_.empty()) handedAt_.pop_front();
  }

  void Pause() override {}
  void Resume() override {
    int64_t now = owner_.clock_.NowMicros();
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    resumedAt_ = now;
  }
  void Discard() override {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    bufferBytes_ = 0;
    handedAt_.clear();  // a reset took back every queued buffer
  }

 private:
  VirtualWaveDevice& owner_;
  const WaveFormat format_;
  const size_t capture_;  // the output open's number
  const CaptureLimits limits_;
  const std::string device_;
  VirtualWaveClock::Waiter waiter_;
  uint32_t handed_ = 0;              // under owner_.mutex_
  std::deque<int64_t> handedAt_;     // when each queued buffer arrived; under owner_.mutex_
  int64_t resumedAt_ = 0;            // under owner_.mutex_
  int64_t completedAt_ = 0;          // under owner_.mutex_
  std::thread::id deviceThread_;     // under owner_.mutex_
  int64_t segmentStart_ = 0;
  uint64_t segmentBytes_ = 0;
  size_t bufferBytes_ = 0;     // bytes of the current buffer played so far
};

class VirtualWaveDevice::InStream final : public WaveInStream {
 public:
  InStream(VirtualWaveDevice& owner, const WaveFormat& format, int64_t limitMicros, bool live, std::string device,
           size_t number)
      : owner_(owner),
        number_(number),
        format_(format),
        limit_(limitMicros > 0 ? BytesIn(format, limitMicros) : 0),
        live_(live),
        device_(std::move(device)) {}

  bool WaitsForReader() const override { return !live_; }
  uint64_t DroppedFrames() const override { return dropped_.load(); }

  static constexpr int64_t kLiveBufferMicros = 500000;

  void Interrupt() override { owner_.clock_.Interrupt(waiter_); }
  void ClearInterrupt() override { owner_.clock_.ClearInterrupt(waiter_); }
  bool WaitingForTime() const override { return owner_.clock_.WaitingForTime(waiter_); }

  WaveResult AcceptBuffer() override {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    ++handed_;
    const VirtualWaveFailures& f = owner_.failures_;
    if (f.failAddFrom && handed_ >= f.failAddFrom) return f.queueError;
    return kWaveOk;
  }

  WaveResult Start() override {
    segmentStart_ = owner_.clock_.NowMicros();
    segmentBytes_ = 0;
    return kWaveOk;
  }
  void Stop() override {}

  WaveResult Read(uint8_t* data, size_t bytes, size_t& read) override {
    VirtualWaveClock& clock = owner_.clock_;
    {
      std::lock_guard<std::mutex> lock(owner_.mutex_);
      if (owner_.GoneLocked(true, device_)) {
        read = 0;
        return kWaveDeviceGone;
      }
    }
    if (live_) {
      // The device holds kLiveBufferMicros of input for its reader; what a
      // reader later than that did not take is gone.
      const int64_t due = segmentStart_ + DurationMicros(format_, segmentBytes_);
      const int64_t late = clock.NowMicros() - due - kLiveBufferMicros;
      if (late > 0) {
        const size_t skipped = BytesIn(format_, late);
        position_ += skipped;
        segmentBytes_ += skipped;
        dropped_ += skipped / format_.blockAlign;
      }
    }
    if (limit_ != 0) {
      bytes = static_cast<size_t>(std::min<uint64_t>(bytes, limit_ - std::min(limit_, position_)));
    }
    // Past its limit the input waits for a time that never comes, until interrupted.
    int64_t target = bytes == 0 ? std::numeric_limits<int64_t>::max()
                                : segmentStart_ + DurationMicros(format_, segmentBytes_ + bytes);
    size_t n = bytes;
    if (!clock.WaitUntil(waiter_, target)) {
      size_t captured = BytesIn(format_, clock.NowMicros() - segmentStart_);
      n = captured > segmentBytes_ ? std::min(bytes, captured - segmentBytes_) : 0;
    }
    {
      // Taken away while the read waited: what came after is not its input.
      std::lock_guard<std::mutex> lock(owner_.mutex_);
      if (owner_.GoneLocked(true, device_)) {
        read = 0;
        return kWaveDeviceGone;
      }
    }
    owner_.Generate(format_, position_, data, n);
    position_ += n;
    segmentBytes_ += n;
    read = n;
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    owner_.inputsDelivered_[number_] += n;
    return kWaveOk;
  }

 private:
  VirtualWaveDevice& owner_;
  const size_t number_;  // of the device's input opens, from 0
  const WaveFormat format_;
  VirtualWaveClock::Waiter waiter_;
  uint32_t handed_ = 0;
  int64_t segmentStart_ = 0;
  uint64_t segmentBytes_ = 0;
  uint64_t position_ = 0;      // bytes produced since open
  const uint64_t limit_;       // bytes this opening delivers; 0 for no end
  const bool live_;
  const std::string device_;
  std::atomic<uint64_t> dropped_{0};
};

// --- VirtualWaveDevice -----------------------------------------------------

VirtualWaveDevice::VirtualWaveDevice() = default;

std::shared_ptr<VirtualWaveDevice> VirtualWaveDevice::Install() {
  auto device = std::make_shared<VirtualWaveDevice>();
  InstallWaveBackend(device);
  return device;
}

bool VirtualWaveDevice::Step(int64_t micros, uint32_t timeoutMs) {
  // Whatever was handed over before the step is taken up first.
  if (!WaitUntilSettled(timeoutMs)) return false;
  clock_.Advance(micros);
  return WaitUntilSettled(timeoutMs);
}

bool VirtualWaveDevice::WaitUntilSettled(uint32_t timeoutMs) {
  return WaveDevice::WaitUntilAllSettled(timeoutMs);
}

int64_t VirtualWaveDevice::DurationMicros(const WaveFormat& format, size_t bytes) {
  uint64_t bps = WaveBytesPerSecond(format);
  if (bps == 0) return 0;
  return static_cast<int64_t>((static_cast<uint64_t>(bytes) * 1000000 + bps - 1) / bps);
}

void VirtualWaveDevice::SetInputBytes(std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  inputBytes_ = std::move(bytes);
}

void VirtualWaveDevice::SetInputLimitMicros(int64_t micros) {
  std::lock_guard<std::mutex> lock(mutex_);
  inputLimitMicros_ = std::max<int64_t>(micros, 0);
}

void VirtualWaveDevice::SetInputSignal(const VirtualWaveSignal& signal) {
  std::lock_guard<std::mutex> lock(mutex_);
  signal_ = signal;
}

void VirtualWaveDevice::SetFailures(const VirtualWaveFailures& failures) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_ = failures;
}

bool VirtualWaveDevice::SpeechOnAt(const VirtualWaveSignal& signal, double seconds) {
  uint32_t period = signal.onMs + signal.offMs;
  if (period == 0) return false;
  auto ms = static_cast<uint64_t>(seconds * 1000.0);
  return ms % period < signal.onMs;
}

void VirtualWaveDevice::Generate(const WaveFormat& format, uint64_t position, uint8_t* data,
                                 size_t bytes) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t i = 0;
  for (; i < bytes && position + i < inputBytes_.size(); ++i) data[i] = inputBytes_[position + i];
  const unsigned sampleBytes = format.bitsPerSample / 8;
  for (; i < bytes; ++i) {
    uint64_t at = position + i;
    uint64_t frame = at / format.blockAlign;
    unsigned byteInSample = static_cast<unsigned>(at % format.blockAlign % sampleBytes);
    double seconds = static_cast<double>(frame) / format.samplesPerSec;
    double value = 0;
    bool sounding = signal_.kind == VirtualWaveSignal::Kind::Sine ||
                    (signal_.kind == VirtualWaveSignal::Kind::Speech && SpeechOnAt(signal_, seconds));
    if (sounding) value = signal_.level * std::sin(2.0 * std::numbers::pi * signal_.frequencyHz * seconds);
    if (sampleBytes == 1) {
      data[i] = static_cast<uint8_t>(std::lround(128.0 + value * 127.0));
    } else {
      auto s = static_cast<int16_t>(std::lround(value * 32767.0));
      data[i] = static_cast<uint8_t>((static_cast<uint16_t>(s) >> (8 * byteInSample)) & 0xFF);
    }
  }
}

void VirtualWaveDevice::SetCaptureLimits(const CaptureLimits& limits) {
  std::lock_guard<std::mutex> lock(mutex_);
  limits_ = limits;
}

VirtualWaveDevice::Capture* VirtualWaveDevice::CaptureAt(size_t number) {
  if (number < firstCapture_ || number - firstCapture_ >= captures_.size()) return nullptr;
  return &captures_[number - firstCapture_];
}

std::vector<VirtualWaveDevice::Capture> VirtualWaveDevice::Captures() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {captures_.begin(), captures_.end()};
}

VirtualWaveDevice::Capture VirtualWaveDevice::LastCapture() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return captures_.empty() ? Capture{} : captures_.back();
}

int VirtualWaveDevice::OutputOpens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outputOpens_;
}

int VirtualWaveDevice::InputOpens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inputOpens_;
}

std::vector<uint64_t> VirtualWaveDevice::InputsDelivered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inputsDelivered_;
}

WaveResult VirtualWaveDevice::CheckFormat(const WaveFormat& format) const {
  if (failures_.noDevice != kWaveOk) return failures_.noDevice;
  if (failures_.refuseFormats) return kWaveBadFormat;
  if (failures_.refuseRate && format.samplesPerSec == failures_.refuseRate) return kWaveBadFormat;
  return CheckPcmFormat(format);
}

WaveResult VirtualWaveDevice::CheckRoute(bool input, const WaveRoute& route) const {
  if (route.deviceId.empty()) return kWaveOk;
  for (const WaveEndpoint& e : endpoints_[input]) {
    if (e.id == route.deviceId) return kWaveOk;
  }
  return kWaveDeviceMissing;
}

bool VirtualWaveDevice::GoneLocked(bool input, const std::string& id) const {
  const auto& gone = gone_[input];
  return !id.empty() && std::find(gone.begin(), gone.end(), id) != gone.end();
}

WaveResult VirtualWaveDevice::QueryOutput(uint32_t, const WaveRoute& route, const WaveFormat& format) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failures_.queryOutput != kWaveOk) return failures_.queryOutput;
  if (WaveResult r = CheckRoute(false, route)) return r;
  return CheckFormat(format);
}

WaveResult VirtualWaveDevice::QueryInput(uint32_t, const WaveRoute& route, const WaveFormat& format) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (WaveResult r = CheckRoute(true, route)) return r;
  return CheckFormat(format);
}

WaveResult VirtualWaveDevice::OpenOutput(uint32_t, const WaveRoute& route, const WaveFormat& format,
                                         std::unique_ptr<WaveOutStream>& stream) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failures_.openOutput != kWaveOk) return failures_.openOutput;
  if (WaveResult r = CheckRoute(false, route)) return r;
  if (WaveResult r = CheckFormat(format)) return r;
  captures_.push_back(Capture{format, {}, {}});
  while (captures_.size() > std::max<size_t>(limits_.captures, 1)) {
    captures_.pop_front();
    ++firstCapture_;
  }
  stream = std::make_unique<OutStream>(*this, format, firstCapture_ + captures_.size() - 1, limits_, route.deviceId);
  lastRoute_[false] = route;
  ++outputOpens_;
  return kWaveOk;
}

WaveResult VirtualWaveDevice::OpenInput(uint32_t, const WaveRoute& route, const WaveFormat& format,
                                        std::unique_ptr<WaveInStream>& stream) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failures_.openInput != kWaveOk) return failures_.openInput;
  if (WaveResult r = CheckRoute(true, route)) return r;
  if (WaveResult r = CheckFormat(format)) return r;
  stream = std::make_unique<InStream>(*this, format, inputLimitMicros_, inputLive_, route.deviceId,
                                      inputsDelivered_.size());
  inputsDelivered_.push_back(0);
  lastRoute_[true] = route;
  ++inputOpens_;
  return kWaveOk;
}

void VirtualWaveDevice::SetInputLive(bool live) {
  std::lock_guard<std::mutex> lock(mutex_);
  inputLive_ = live;
}

std::vector<WaveEndpoint> VirtualWaveDevice::Endpoints(bool input) {
  std::lock_guard<std::mutex> lock(mutex_);
  return endpoints_[input];
}

WaveRoute VirtualWaveDevice::LastRoute(bool input) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastRoute_[input];
}

void VirtualWaveDevice::SetEndpoints(bool input, std::vector<WaveEndpoint> endpoints) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    endpoints_[input] = std::move(endpoints);
  }
  NotifyWatchers();
}

void VirtualWaveDevice::RemoveEndpoint(bool input, const std::string& id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& list = endpoints_[input];
    list.erase(std::remove_if(list.begin(), list.end(), [&](const WaveEndpoint& e) { return e.id == id; }),
               list.end());
    gone_[input].push_back(id);
  }
  NotifyWatchers();
}

int VirtualWaveDevice::WatchEndpoints(std::function<void()> changed) {
  std::lock_guard<std::mutex> lock(watchMutex_);
  watchers_.emplace_back(nextWatch_, std::move(changed));
  return nextWatch_++;
}

void VirtualWaveDevice::UnwatchEndpoints(int token) {
  std::lock_guard<std::mutex> lock(watchMutex_);
  watchers_.erase(std::remove_if(watchers_.begin(), watchers_.end(), [&](const auto& w) { return w.first == token; }),
                  watchers_.end());
}

void VirtualWaveDevice::NotifyWatchers() {
  std::lock_guard<std::mutex> lock(watchMutex_);
  for (const auto& w : watchers_) w.second();
}

}  // namespace platform
