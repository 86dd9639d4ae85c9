#include "platform/portaudio_wave_device.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/wave_pacer.h"

namespace platform {

namespace {

// PortAudio's stream set-up calls are not safe to run concurrently.
std::mutex& PaMutex() {
  static std::mutex m;
  return m;
}

using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
void SilentAlsaHandler(const char*, int, const char*, int, const char*, ...) {}

// Initialises PortAudio once per process. Probing the sound systems makes ALSA,
// JACK and PulseAudio report every missing card and server on the terminal;
// none of that is the user's business, so it goes to /dev/null.
PaError InitPortAudio() {
  static std::once_flag once;
  static PaError result = paNotInitialized;
  std::call_once(once, [] {
    setenv("JACK_NO_START_SERVER", "1", 0);
    // libasound comes with PortAudio; look its handler setter up rather than
    // tie the build to ALSA.
    using SetHandler = int (*)(AlsaErrorHandler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))) {
      set(SilentAlsaHandler);
    }
    std::fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    bool quiet = saved >= 0 && null >= 0 && dup2(null, STDERR_FILENO) >= 0;
    result = Pa_Initialize();
    if (quiet) {
      std::fflush(stderr);
      dup2(saved, STDERR_FILENO);
    }
    if (null >= 0) close(null);
    if (saved >= 0) close(saved);
  });
  return result;
}

bool HasChannels(const PaDeviceInfo* info, bool output) {
  return info != nullptr && (output ? info->maxOutputChannels : info->maxInputChannels) > 0;
}

// The route's device by its name, or the default device when it names none.
// PortAudio lists its devices once, when it starts: one plugged in later is
// seen at the program's next start.
WaveResult RouteDevice(bool output, const WaveRoute& route, PaDeviceIndex& index) {
  if (InitPortAudio() != paNoError) return kWaveNoDriver;
  if (Pa_GetDeviceCount() <= 0) return kWaveNoDriver;
  if (!route.deviceId.empty()) {
    std::lock_guard<std::mutex> lock(PaMutex());
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
      const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
      if (HasChannels(info, output) && route.deviceId == info->name) {
        index = i;
        return kWaveOk;
      }
    }
    return kWaveDeviceMissing;
  }
  index = output ? Pa_GetDefaultOutputDevice() : Pa_GetDefaultInputDevice();
  return index == paNoDevice ? kWaveBadDeviceId : kWaveOk;
}

PaStreamParameters Parameters(PaDeviceIndex index, const WaveFormat& format, bool output) {
  const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
  PaStreamParameters p{};
  p.device = index;
  p.channelCount = format.channels;
  p.sampleFormat = format.bitsPerSample == 8 ? paUInt8 : paInt16;
  p.suggestedLatency = info ? (output ? info->defaultHighOutputLatency : info->defaultHighInputLatency) : 0.1;
  p.hostApiSpecificStreamInfo = nullptr;
  return p;
}

WaveResult FromPaError(PaError e) {
  switch (e) {
    case paNoError: return kWaveOk;
    case paInvalidSampleRate:
    case paSampleFormatNotSupported:
    case paInvalidChannelCount:
    case paBadIODeviceCombination: return kWaveBadFormat;
    case paDeviceUnavailable: return kWaveAllocated;
    case paInsufficientMemory: return kWaveNoMemory;
    case paInvalidDevice: return kWaveBadDeviceId;
    case paNotInitialized: return kWaveNoDriver;
    default: return kWaveError;
  }
}

WaveResult Query(bool output, const WaveRoute& route, const WaveFormat& format) {
  PaDeviceIndex index = paNoDevice;
  if (WaveResult r = RouteDevice(output, route, index)) return r;
  PaStreamParameters p = Parameters(index, format, output);
  std::lock_guard<std::mutex> lock(PaMutex());
  PaError e = Pa_IsFormatSupported(output ? nullptr : &p, output ? &p : nullptr, format.samplesPerSec);
  return e == paFormatIsSupported ? kWaveOk : kWaveBadFormat;
}

WaveResult OpenStream(bool output, const WaveRoute& route, const WaveFormat& format, PaStream*& stream,
                      double& latency) {
  PaDeviceIndex index = paNoDevice;
  if (WaveResult r = RouteDevice(output, route, index)) return r;
  PaStreamParameters p = Parameters(index, format, output);
  latency = p.suggestedLatency;
  std::lock_guard<std::mutex> lock(PaMutex());
  PaError e = Pa_OpenStream(&stream, output ? nullptr : &p, output ? &p : nullptr, format.samplesPerSec,
                            paFramesPerBufferUnspecified, paNoFlag, nullptr, nullptr);
  if (e != paNoError) stream = nullptr;
  return FromPaError(e);
}

// Transfers of about 20 ms keep resets and pauses prompt.
size_t ChunkFor(const WaveFormat& format) {
  size_t frames = format.samplesPerSec / 50;
  return (frames ? frames : 1) * format.blockAlign;
}

class PaStreamBase {
 protected:
  PaStreamBase(PaStream* stream, const WaveFormat& format, std::chrono::microseconds lead)
      : stream_(stream), format_(format), pacer_(format.samplesPerSec, lead) {}
  ~PaStreamBase() {
    std::lock_guard<std::mutex> lock(PaMutex());
    if (running_) Pa_AbortStream(stream_);
    Pa_CloseStream(stream_);
  }
  bool StartIfStopped() {
    if (running_) return true;
    std::lock_guard<std::mutex> lock(PaMutex());
    running_ = Pa_StartStream(stream_) == paNoError;
    pacer_.Restart();
    return running_;
  }
  void StopIfRunning(bool drain) {
    if (!running_) return;
    std::lock_guard<std::mutex> lock(PaMutex());
    drain ? Pa_StopStream(stream_) : Pa_AbortStream(stream_);
    running_ = false;
  }
  void Pace(size_t bytes) {
    auto wait = pacer_.Advance(bytes / format_.blockAlign, WavePacer::Clock::now());
    if (wait.count() > 0) std::this_thread::sleep_for(wait);
  }

  PaStream* stream_;
  const WaveFormat format_;
  WavePacer pacer_;
  bool running_ = false;
};

class PaOutStream final : public WaveOutStream, private PaStreamBase {
 public:
  PaOutStream(PaStream* stream, const WaveFormat& format, double latency)
      : PaStreamBase(stream, format, std::chrono::microseconds(static_cast<int64_t>(latency * 1e6))) {}

  size_t ChunkBytes() const override { return ChunkFor(format_); }

  WaveResult Write(const uint8_t* data, size_t bytes, size_t& written) override {
    written = 0;
    if (!StartIfStopped()) {
      Pace(bytes);  // a dead device must not make buffers race through
      written = bytes;
      return kWaveError;
    }
    PaError e = Pa_WriteStream(stream_, data, bytes / format_.blockAlign);
    written = bytes;
    Pace(bytes);
    return e == paNoError || e == paOutputUnderflowed ? kWaveOk : kWaveError;
  }

  void Pause() override { StopIfRunning(true); }
  void Resume() override {}  // the next write starts the stream again
  void Discard() override { StopIfRunning(false); }
  void Drain() override { StopIfRunning(true); }
};

class PaInStream final : public WaveInStream, private PaStreamBase {
 public:
  PaInStream(PaStream* stream, const WaveFormat& format)
      : PaStreamBase(stream, format, std::chrono::milliseconds(50)) {}

  size_t ChunkBytes() const override { return ChunkFor(format_); }

  WaveResult Start() override {
    if (!StartIfStopped()) return kWaveError;
    startTime_ = Pa_GetStreamTime(stream_);
    framesRead_ = 0;
    droppedAtStart_ = dropped_.load(std::memory_order_relaxed);
    return kWaveOk;
  }
  void Stop() override { StopIfRunning(false); }

  WaveResult Read(uint8_t* data, size_t bytes, size_t& read) override {
    const unsigned long frames = bytes / format_.blockAlign;
    const auto before = WavePacer::Clock::now();
    PaError e = Pa_ReadStream(stream_, data, frames);
    read = bytes;
    framesRead_ += frames;
    // A device that makes the reads wait runs on its own clock and needs no
    // pacing; pacing it would keep a backlog from ever draining, and lag
    // behind a device whose clock runs a little fast. Devices whose reads
    // never wait (ALSA's file plugin) are held to real time. Judged anew
    // over each second of input: waiting devices spend most of it in reads.
    readTime_ += WavePacer::Clock::now() - before;
    readAudio_ += std::chrono::microseconds(static_cast<int64_t>(frames) * 1000000 / format_.samplesPerSec);
    if (readAudio_ >= std::chrono::seconds(1)) {
      blocks_ = readTime_ * 2 >= readAudio_;
      readTime_ = {};
      readAudio_ = {};
    }
    if (!blocks_) Pace(bytes);
    if (e == paInputOverflowed) CountOverrun();
    if (e == paNoError || e == paInputOverflowed) return kWaveOk;
    read = 0;
    return kWaveError;
  }

  uint64_t DroppedFrames() const override { return dropped_.load(std::memory_order_relaxed); }

 private:
  // PortAudio says that input was lost, not how much: the stream's clock
  // against the frames read and waiting tells.
  void CountOverrun() {
    const double elapsed = Pa_GetStreamTime(stream_) - startTime_;
    const long waiting = Pa_GetStreamReadAvailable(stream_);
    const double expected = elapsed * format_.samplesPerSec;
    const double have = static_cast<double>(framesRead_) + (waiting > 0 ? waiting : 0) +
                        static_cast<double>(dropped_.load(std::memory_order_relaxed) - droppedAtStart_);
    if (expected > have) dropped_.fetch_add(static_cast<uint64_t>(expected - have), std::memory_order_relaxed);
  }

  bool blocks_ = false;
  WavePacer::Clock::duration readTime_{};
  std::chrono::microseconds readAudio_{};
  double startTime_ = 0;
  uint64_t framesRead_ = 0;
  uint64_t droppedAtStart_ = 0;
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace

WaveResult PortAudioWaveDevice::QueryOutput(uint32_t, const WaveRoute& route, const WaveFormat& format) {
  return Query(true, route, format);
}

WaveResult PortAudioWaveDevice::QueryInput(uint32_t, const WaveRoute& route, const WaveFormat& format) {
  return Query(false, route, format);
}

WaveResult PortAudioWaveDevice::OpenOutput(uint32_t, const WaveRoute& route, const WaveFormat& format,
                                           std::unique_ptr<WaveOutStream>& stream) {
  PaStream* pa = nullptr;
  double latency = 0;
  if (WaveResult r = OpenStream(true, route, format, pa, latency)) return r;
  stream = std::make_unique<PaOutStream>(pa, format, latency);
  return kWaveOk;
}

WaveResult PortAudioWaveDevice::OpenInput(uint32_t, const WaveRoute& route, const WaveFormat& format,
                                          std::unique_ptr<WaveInStream>& stream) {
  PaStream* pa = nullptr;
  double latency = 0;
  if (WaveResult r = OpenStream(false, route, format, pa, latency)) return r;
  stream = std::make_unique<PaInStream>(pa, format);
  return kWaveOk;
}

std::vector<WaveEndpoint> PortAudioWaveDevice::Endpoints(bool input) {
  std::vector<WaveEndpoint> list;
  if (InitPortAudio() != paNoError) return list;
  std::lock_guard<std::mutex> lock(PaMutex());
  const PaDeviceIndex fallback = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
  for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!HasChannels(info, !input)) continue;
    list.push_back({info->name, info->name, i == fallback});
  }
  return list;
}

}  // namespace platform
