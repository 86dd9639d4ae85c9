#pragma once
// The seam between the waveform devices and what actually makes the sound:
// a backend opens output and input streams; the device layer drives them from
// one thread per open device. Backends are chosen process-wide.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wave_route.h"
#include "platform/wave_types.h"

namespace platform {

// Shared by both stream kinds. Unless said otherwise, calls come only from the
// owning device's thread (or after that thread has ended).
class WaveBackendStream {
 public:
  virtual ~WaveBackendStream() = default;
  // Largest transfer to hand over at once, in bytes; 0 for no limit.
  virtual size_t ChunkBytes() const { return 0; }
  // Any thread: make a blocking Write/Read return soon with what it has done.
  // Stays in force until ClearInterrupt().
  virtual void Interrupt() {}
  virtual void ClearInterrupt() {}
  // Any thread: true while the device thread sits in a transfer that only the
  // passing of (virtual) time can finish. Lets tests see that a device has
  // settled; backends on real hardware say false.
  virtual bool WaitingForTime() const { return false; }
  // Under the device's lock, when it is asked to close: a failure code keeps
  // it from closing (the virtual device's injected failures; real backends
  // never refuse).
  virtual WaveResult RefuseClose() const { return kWaveOk; }
};

// Where an output stream that asks for its data takes it: called on the
// stream's thread (a sound server's loop), never with the device's lock held.
class WaveOutSource {
 public:
  // Copies up to `bytes` (whole frames) of what is queued, at the output
  // level, and returns how many; fewer (even none) when less is queued, the
  // device is paused, or it is being reset.
  virtual size_t Fill(uint8_t* data, size_t bytes) = 0;
  // The device went away: nothing more will be taken.
  virtual void PlaybackFailed(WaveResult result) = 0;

 protected:
  ~WaveOutSource() = default;
};

class WaveOutStream : public WaveBackendStream {
 public:
  // A stream whose backend has a thread of its own asks `source` for data
  // whenever the speaker wants it, and returns true; the device then writes
  // nothing itself (no thread of its own wakes for every piece). Null
  // detaches the source: once that returns, it is not called again. False
  // (the default): the device writes with Write().
  virtual bool PullFrom(WaveOutSource* source) {
    (void)source;
    return false;
  }
  // A stream that pulls: buffers were queued or playback resumed, so what
  // the speaker still wants can be taken now. Called without the device's lock.
  virtual void DataQueued() {}
  // Called by the device when a buffer is queued (any thread, under the
  // device's lock); a failure refuses the buffer with that code.
  virtual WaveResult AcceptBuffer() { return kWaveOk; }
  // Plays whole frames, blocking no longer than real time needs. May return
  // early after Interrupt(); `written` says how many bytes were consumed.
  virtual WaveResult Write(const uint8_t* data, size_t bytes, size_t& written) = 0;
  // A whole buffer has been written (the device is about to report it done).
  virtual void BufferDone() {}
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  // Drops what was written but not yet heard (reset).
  virtual void Discard() {}
  // Lets what was written be heard (before close).
  virtual void Drain() {}
};

// Where an input stream that delivers its own input puts it: called on the
// stream's thread (a sound server's loop), never with the device's lock held.
class WaveInSink {
 public:
  virtual void Captured(const uint8_t* data, size_t bytes) = 0;
  // The device went away: nothing more will come.
  virtual void CaptureFailed(WaveResult result) = 0;

 protected:
  ~WaveInSink() = default;
};

class WaveInStream : public WaveBackendStream {
 public:
  // A stream whose backend has a thread of its own hands each piece of input
  // to `sink` as it arrives, and returns true; the device then does not read
  // (one thread fewer woken for every piece). Null detaches the sink: once
  // that returns, the sink is not called again. False (the default): the
  // device reads with Read().
  virtual bool DeliverTo(WaveInSink* sink) {
    (void)sink;
    return false;
  }
  virtual WaveResult AcceptBuffer() { return kWaveOk; }
  virtual WaveResult Start() = 0;
  virtual void Stop() = 0;
  // Records whole frames into `data`, blocking until they have been captured.
  // May return early after Interrupt(); `read` says how many bytes arrived.
  // kWaveDeviceGone: the device went away, nothing more will come.
  virtual WaveResult Read(uint8_t* data, size_t bytes, size_t& read) = 0;
  // True when input not read yet waits for the reader however long it
  // takes (a simulation); false for a real device, which runs on by itself
  // and loses what is not read in time.
  virtual bool WaitsForReader() const { return false; }
  // Input the backend itself had to drop (its own buffer overran), in
  // frames, since open; where it can tell.
  virtual uint64_t DroppedFrames() const { return 0; }
};

// A device as the desktop lists it.
struct WaveEndpoint {
  std::string id;           // the backend's name for it, stable across starts
  std::string description;  // what the desktop shows ("Built-in Audio Analog Stereo")
  bool isDefault = false;   // the desktop's default of its direction
};

class WaveBackend {
 public:
  virtual ~WaveBackend() = default;

  // "pulse", "portaudio" or "virtual".
  virtual const char* Name() const = 0;

  // The route says which device (empty: the default) and what the stream is
  // called; a device id the backend does not know fails with
  // kWaveDeviceMissing.
  virtual WaveResult QueryOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) = 0;
  virtual WaveResult QueryInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) = 0;
  virtual WaveResult OpenOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                                std::unique_ptr<WaveOutStream>& stream) = 0;
  virtual WaveResult OpenInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                               std::unique_ptr<WaveInStream>& stream) = 0;

  // The devices of a direction as the desktop lists them, its default
  // marked; empty when there are none or the backend cannot tell.
  virtual std::vector<WaveEndpoint> Endpoints(bool input) = 0;
  // `changed` runs (on a thread of the backend's) whenever a device comes or
  // goes or the default changes. Returns a token for UnwatchEndpoints; 0
  // when the backend never sees such changes. After UnwatchEndpoints returns
  // the function is not running and is never called again.
  virtual int WatchEndpoints(std::function<void()> changed) {
    (void)changed;
    return 0;
  }
  virtual void UnwatchEndpoints(int token) { (void)token; }

  // The output level, shared by every output device of this backend like a
  // mixer's: left level in the low half, right in the high half.
  uint32_t OutputVolume() const { return outputVolume_.load(std::memory_order_relaxed); }
  void SetOutputVolume(uint32_t volume) { outputVolume_.store(volume, std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> outputVolume_{0xFFFFFFFFu};
};

// The backend new devices open on. The first call picks the default: the
// desktop's sound server where one answers, PortAudio otherwise, or what the
// environment variable QUILLON_WAVE_BACKEND names (see MakeWaveBackend).
std::shared_ptr<WaveBackend> CurrentWaveBackend();
// The backend a QUILLON_WAVE_BACKEND value names; a testing and simulation aid:
//   "virtual"                  the virtual device at real time (silent input)
//   "virtual:SPEED"            its clock at SPEED times real time
//   "virtual:SPEED:SECONDS"    and each input opening delivers SECONDS of
//                              virtual time, then nothing more, so that a
//                              recording at any speed holds exactly that much
//   "virtual:SPEED:SECONDS:live"  and its input runs on whether or not it is
//                              read, as a microphone does (overruns lose input)
//   "pulse", "portaudio"       that backend, whether or not a server answers
// Anything else (or null) is the sound server when one answers, PortAudio
// otherwise; a SPEED that is not a positive number means real time.
std::shared_ptr<WaveBackend> MakeWaveBackend(const char* choice);
// Replaces the backend for devices opened from now on (tests install the
// virtual device). Devices already open keep theirs.
void InstallWaveBackend(std::shared_ptr<WaveBackend> backend);

}  // namespace platform
