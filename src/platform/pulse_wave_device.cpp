#include "platform/pulse_wave_device.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/pulse_context.h"

namespace platform {

using pulse::Context;
using pulse::LoopLock;

namespace {

constexpr uint32_t kOpTimeoutMs = 2000;
// What the server holds ahead of the speaker (100 ms, as PortAudio's
// streams have it), how much it asks for at a time (50 ms), and how often
// input arrives: every 100 ms, which wakes
// the program ten times a second while recording (a meter refreshed as
// often looks no different) and is what the server holds back at a stop.
constexpr uint32_t kPlayAheadMs = 100;
constexpr uint32_t kRequestMs = 50;
constexpr uint32_t kInputChunkMs = 100;

uint32_t BytesFor(const WaveFormat& format, uint32_t ms) {
  const uint64_t bytes = static_cast<uint64_t>(WaveBytesPerSecond(format)) * ms / 1000;
  return static_cast<uint32_t>(std::max<uint64_t>(format.blockAlign, bytes / format.blockAlign * format.blockAlign));
}

WaveResult FromPulseError(int error) {
  switch (error) {
    case PA_ERR_NOENTITY: return kWaveDeviceMissing;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_NOTSUPPORTED: return kWaveNoDriver;
    case PA_ERR_INVALID: return kWaveBadFormat;
    case PA_ERR_BUSY: return kWaveAllocated;
    default: return kWaveError;
  }
}

// What both stream kinds share: the stream on the server and its state.
// Everything of the stream is touched with the loop's lock held; data moves
// on the loop's thread (the device's lock is taken inside it, never the
// other way round).
class PulseStream {
 protected:
  PulseStream(std::shared_ptr<Context> context, const WaveFormat& format)
      : context_(std::move(context)), format_(format) {}

  ~PulseStream() {
    LoopLock lock(context_->Loop());
    if (stream_ != nullptr) {
      pa_stream_set_state_callback(stream_, nullptr, nullptr);
      pa_stream_set_read_callback(stream_, nullptr, nullptr);
      pa_stream_set_write_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
    }
  }

  WaveResult Connect(bool input, const WaveRoute& route) {
    LoopLock lock(context_->Loop());
    if (!context_->AliveLocked()) return kWaveNoDriver;
    pa_sample_spec sample{};
    sample.format = format_.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    sample.rate = format_.samplesPerSec;
    sample.channels = static_cast<uint8_t>(format_.channels);
    pa_channel_map map;
    pa_channel_map_init_auto(&map, sample.channels, PA_CHANNEL_MAP_DEFAULT);
    const WaveApplication app = CurrentWaveApplication();
    const std::string name = route.streamName.empty() ? app.name : route.streamName;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, name.c_str());
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE,
                     input ? PulseWaveDevice::kRecordRole : PulseWaveDevice::kPlayRole);
    pa_proplist_sets(props, PA_PROP_MEDIA_ICON_NAME, app.iconName.c_str());
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, app.iconName.c_str());
    stream_ = pa_stream_new_with_proplist(context_->Raw(), name.c_str(), &sample, &map, props);
    pa_proplist_free(props);
    if (stream_ == nullptr) return FromPulseError(pa_context_errno(context_->Raw()));
    pa_stream_set_state_callback(stream_, &PulseStream::OnSignal, this);

    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(-1);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    // A chosen device is kept or the stream fails; the default is followed.
    int flags = PA_STREAM_ADJUST_LATENCY;
    if (!route.deviceId.empty()) flags |= PA_STREAM_DONT_MOVE;
    const char* device = route.deviceId.empty() ? nullptr : route.deviceId.c_str();
    int result;
    if (input) {
      attr.fragsize = BytesFor(format_, kInputChunkMs);
      result = pa_stream_connect_record(stream_, device, &attr,
                                        static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED));
    } else {
      attr.tlength = BytesFor(format_, kPlayAheadMs);
      attr.minreq = BytesFor(format_, kRequestMs);
      result = pa_stream_connect_playback(stream_, device, &attr, static_cast<pa_stream_flags_t>(flags), nullptr,
                                          nullptr);
    }
    if (result < 0) return FromPulseError(pa_context_errno(context_->Raw()));
    context_->WaitLocked(
        [this] {
          const pa_stream_state_t s = pa_stream_get_state(stream_);
          return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        },
        kOpTimeoutMs);
    if (pa_stream_get_state(stream_) == PA_STREAM_READY) return kWaveOk;
    const int error = pa_context_errno(context_->Raw());
    return error != PA_OK ? FromPulseError(error) : kWaveError;
  }

  // With the lock held.
  bool DeadLocked() const { return pa_stream_get_state(stream_) != PA_STREAM_READY || !context_->AliveLocked(); }

  // With the lock held; false when the stream is gone.
  bool CorkLocked(bool cork) {
    if (DeadLocked()) return false;
    corked_ = cork;
    return context_->FinishLocked(pa_stream_cork(stream_, cork ? 1 : 0, nullptr, nullptr), kOpTimeoutMs);
  }

  // With the lock held: `gone` runs once, on the loop's thread, when the
  // stream fails or ends (at once when it already has); empty stops that.
  void WhenGoneLocked(std::function<void()> gone) {
    gone_ = std::move(gone);
    if (gone_ && DeadLocked()) TellGoneLocked();
  }

  static void OnSignal(pa_stream* stream, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    me->context_->Loop().Signal();
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) me->TellGoneLocked();
  }
  void TellGoneLocked() {
    if (!gone_ || toldGone_) return;
    toldGone_ = true;
    gone_();
  }

  std::shared_ptr<Context> context_;
  const WaveFormat format_;
  pa_stream* stream_ = nullptr;
  bool corked_ = false;            // under the loop's lock
  std::function<void()> gone_;     // under the loop's lock
  bool toldGone_ = false;          // under the loop's lock
};

// The server asks for data on the loop's own thread, and takes it there from
// the device's queue: no thread waits for room, and no write wakes the loop.
class PulseOutStream final : public WaveOutStream, private PulseStream {
 public:
  using PulseStream::Connect;
  PulseOutStream(std::shared_ptr<Context> context, const WaveFormat& format)
      : PulseStream(std::move(context), format) {}

  ~PulseOutStream() override {
    LoopLock lock(context_->Loop());
    if (source_ != nullptr) context_->Loop().Playing(-1);
  }

  bool PullFrom(WaveOutSource* source) override {
    LoopLock lock(context_->Loop());
    if ((source_ != nullptr) != (source != nullptr)) context_->Loop().Playing(source != nullptr ? 1 : -1);
    source_ = source;
    pa_stream_set_write_callback(stream_, source != nullptr ? &PulseOutStream::OnWrite : nullptr, this);
    WhenGoneLocked(source != nullptr ? std::function<void()>([source] { source->PlaybackFailed(kWaveDeviceGone); })
                                     : nullptr);
    return true;
  }
  void DataQueued() override {
    LoopLock lock(context_->Loop());
    FillLocked();
  }

  // Never called: the stream pulls (PullFrom).
  WaveResult Write(const uint8_t*, size_t, size_t& written) override {
    written = 0;
    return kWaveError;
  }

  void Pause() override {
    LoopLock lock(context_->Loop());
    CorkLocked(true);
  }
  void Resume() override {
    LoopLock lock(context_->Loop());
    CorkLocked(false);
  }
  // What the server already holds (at most kPlayAheadMs) is left to be
  // heard, so that the end of a file is not cut off when its player closes;
  // only a paused stream drops it, or it would sound on the next resume.
  void Discard() override {
    LoopLock lock(context_->Loop());
    if (corked_ && !DeadLocked()) context_->FinishLocked(pa_stream_flush(stream_, nullptr, nullptr), kOpTimeoutMs);
  }
  void Drain() override {
    LoopLock lock(context_->Loop());
    if (DeadLocked() || corked_) return;
    // Playback may not have begun yet (less written than the server waits
    // for): the drain plays it all the same.
    if (pa_operation* op = pa_stream_trigger(stream_, nullptr, nullptr)) pa_operation_unref(op);
    context_->FinishLocked(pa_stream_drain(stream_, nullptr, nullptr), kPlayAheadMs + kOpTimeoutMs);
  }

 private:
  // With the loop's lock held: as much as the server has room for, straight
  // into its buffer.
  void FillLocked() {
    if (source_ == nullptr || DeadLocked()) return;
    size_t room = pa_stream_writable_size(stream_) / format_.blockAlign * format_.blockAlign;
    while (room > 0) {
      void* buffer = nullptr;
      size_t length = room;
      if (pa_stream_begin_write(stream_, &buffer, &length) < 0 || buffer == nullptr) return;
      length = std::min(length, room) / format_.blockAlign * format_.blockAlign;
      const size_t got = length > 0 ? source_->Fill(static_cast<uint8_t*>(buffer), length) : 0;
      if (got == 0) {
        pa_stream_cancel_write(stream_);
        return;
      }
      if (pa_stream_write(stream_, buffer, got, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
      if (got < length) return;
      room -= got;
    }
  }
  static void OnWrite(pa_stream*, size_t, void* self) { static_cast<PulseOutStream*>(self)->FillLocked(); }

  WaveOutSource* source_ = nullptr;  // under the loop's lock
};

// Input is handed to the device's sink as it arrives, on the loop's own
// thread: no reader is woken to fetch it, and the fragment goes back to the
// server in the same pass of the loop.
class PulseInStream final : public WaveInStream, private PulseStream {
 public:
  using PulseStream::Connect;
  PulseInStream(std::shared_ptr<Context> context, const WaveFormat& format)
      : PulseStream(std::move(context), format) {}

  bool DeliverTo(WaveInSink* sink) override {
    LoopLock lock(context_->Loop());
    sink_ = sink;
    pa_stream_set_read_callback(stream_, sink != nullptr ? &PulseInStream::OnRead : nullptr, this);
    WhenGoneLocked(sink != nullptr ? std::function<void()>([sink] { sink->CaptureFailed(kWaveDeviceGone); }) : nullptr);
    return true;
  }

  ~PulseInStream() override {
    LoopLock lock(context_->Loop());
    CountLocked(false);
  }

  WaveResult Start() override {
    LoopLock lock(context_->Loop());
    if (!CorkLocked(false)) return kWaveDeviceGone;
    CountLocked(true);
    return kWaveOk;
  }
  void Stop() override {
    LoopLock lock(context_->Loop());
    CountLocked(false);
    CorkLocked(true);
  }

  // Never called: the stream delivers (DeliverTo).
  WaveResult Read(uint8_t*, size_t, size_t& read) override {
    read = 0;
    return kWaveError;
  }

 private:
  // With the loop's lock held, on its thread.
  static void OnRead(pa_stream* stream, size_t, void* self) {
    auto* in = static_cast<PulseInStream*>(self);
    for (;;) {
      const void* data = nullptr;
      size_t length = 0;
      if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) return;
      // A hole (data null): time the stream spent without input of its own
      // (corked, just moved to another source). Nothing was captured there,
      // so nothing of a recording is lost: it is skipped, not counted.
      if (data != nullptr && in->sink_ != nullptr) in->sink_->Captured(static_cast<const uint8_t*>(data), length);
      pa_stream_drop(stream);
    }
  }

  // With the loop's lock held: the loop reads a running stream's input a
  // turn at a time.
  void CountLocked(bool running) {
    if (running == counted_) return;
    counted_ = running;
    context_->Loop().Capturing(running ? 1 : -1);
  }

  WaveInSink* sink_ = nullptr;  // under the loop's lock
  bool counted_ = false;        // under the loop's lock
};

}  // namespace

std::shared_ptr<PulseWaveDevice> PulseWaveDevice::Connect(uint32_t timeoutMs) {
  std::shared_ptr<Context> context = Context::Connect(timeoutMs);
  if (!context) return nullptr;
  std::shared_ptr<PulseWaveDevice> device(new PulseWaveDevice);
  device->context_ = std::move(context);
  device->Attach(*device->context_);
  return device;
}

PulseWaveDevice::~PulseWaveDevice() {
  // The live context stops calling before the watchers go. (Streams hold
  // contexts too, but every stream belongs to a device that holds this
  // backend: none outlives it.)
  if (context_) context_->SetListener(nullptr);
}

void PulseWaveDevice::Attach(pulse::Context& context) {
  context.SetListener([this] { Tell(); });
}

void PulseWaveDevice::Tell() {
  std::lock_guard<std::recursive_mutex> watch(watchMutex_);
  for (const auto& w : watchers_) w.second();
}

std::shared_ptr<Context> PulseWaveDevice::Live() {
  std::lock_guard<std::mutex> lock(mutex_);
  bool alive;
  {
    LoopLock loop(context_->Loop());
    alive = context_->AliveLocked();
  }
  if (!alive) {
    if (std::shared_ptr<Context> fresh = Context::Connect(kOpTimeoutMs)) {
      context_ = std::move(fresh);
      Attach(*context_);
      Tell();  // the server is back, with its devices
    }
  }
  return context_;
}

WaveResult PulseWaveDevice::Query(bool input, const WaveRoute& route, const WaveFormat& format) {
  if (WaveResult r = CheckPcmFormat(format)) return r;
  std::shared_ptr<Context> context = Live();
  {
    LoopLock loop(context->Loop());
    if (!context->AliveLocked()) return kWaveNoDriver;
  }
  // The server converts every rate and width the program records in.
  if (!route.deviceId.empty() && !context->HasDevice(input, route.deviceId)) return kWaveDeviceMissing;
  return kWaveOk;
}

WaveResult PulseWaveDevice::QueryOutput(uint32_t, const WaveRoute& route, const WaveFormat& format) {
  return Query(false, route, format);
}

WaveResult PulseWaveDevice::QueryInput(uint32_t, const WaveRoute& route, const WaveFormat& format) {
  return Query(true, route, format);
}

WaveResult PulseWaveDevice::OpenOutput(uint32_t, const WaveRoute& route, const WaveFormat& format,
                                       std::unique_ptr<WaveOutStream>& stream) {
  auto out = std::make_unique<PulseOutStream>(Live(), format);
  if (WaveResult r = out->Connect(false, route)) return r;
  stream = std::move(out);
  return kWaveOk;
}

WaveResult PulseWaveDevice::OpenInput(uint32_t, const WaveRoute& route, const WaveFormat& format,
                                      std::unique_ptr<WaveInStream>& stream) {
  auto in = std::make_unique<PulseInStream>(Live(), format);
  if (WaveResult r = in->Connect(true, route)) return r;
  stream = std::move(in);
  return kWaveOk;
}

std::vector<WaveEndpoint> PulseWaveDevice::Endpoints(bool input) { return Live()->Endpoints(input); }

int PulseWaveDevice::WatchEndpoints(std::function<void()> changed) {
  std::lock_guard<std::recursive_mutex> watch(watchMutex_);
  watchers_.emplace_back(nextWatch_, std::move(changed));
  return nextWatch_++;
}

void PulseWaveDevice::UnwatchEndpoints(int token) {
  std::lock_guard<std::recursive_mutex> watch(watchMutex_);
  watchers_.erase(
      std::remove_if(watchers_.begin(), watchers_.end(), [&](const auto& w) { return w.first == token; }),
      watchers_.end());
}

}  // namespace platform
