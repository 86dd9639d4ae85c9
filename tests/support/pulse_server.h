#pragma once
// A private PulseAudio daemon for the tests that meet a real sound server:
// its own runtime and home folders, a socket that PULSE_SERVER points at
// while it runs, and pipes as devices (module-pipe-source and
// module-pipe-sink), so files are the microphones and speakers. Sources are
// fed at real time by a thread, as a microphone delivers; sinks play at real
// time by the system clock into a thread that keeps what they play (silence
// while nothing plays, as a sound card does).

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class PulseServer {
 public:
  struct Pipe {
    std::string name;         // the server's device name
    std::string description;  // what the desktop shows
    bool input = true;        // a source (true) or a sink
    std::string format = "s16le";
    int channels = 1;
    int rate = 8000;
  };

  // Starts the daemon and loads the pipes; Ok() says whether that worked,
  // Why() why not (no pulseaudio installed, a daemon that did not start).
  explicit PulseServer(const std::vector<Pipe>& pipes);
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Why() const { return why_; }

  // pactl against this server: its exit status, its output in *out.
  int Pactl(const std::string& args, std::string* out = nullptr) const;
  // Loads another pipe (a device plugged in); false when the server refused.
  bool Load(const Pipe& pipe);
  // Unloads a pipe's module (the device unplugged).
  bool Unload(const std::string& name);

  // Writes `bytes` into a source's pipe at real time, from a thread of its
  // own; Fed() waits until all of them are in.
  void Feed(const std::string& source, std::vector<uint8_t> bytes);
  void Fed();
  // Everything a sink has played since it was loaded (or last taken).
  std::vector<uint8_t> Take(const std::string& sink);
  std::vector<uint8_t> Heard(const std::string& sink);  // a copy, kept

 private:
  struct Device {
    Pipe pipe;
    int module = -1;
    std::string fifo;
    int fd = -1;  // a sink's reading end
  };

  bool Start();
  void DrainSinks();

  bool ok_ = false;
  std::string why_;
  std::string dir_;
  std::string socket_;
  std::string oldServer_;
  bool hadServer_ = false;
  pid_t daemon_ = -1;

  std::mutex mutex_;
  std::map<std::string, Device> devices_;
  std::map<std::string, std::vector<uint8_t>> heard_;
  std::vector<std::thread> feeders_;
  std::thread drainer_;
  std::atomic<bool> quit_{false};
};

// 16-bit samples that never repeat and are never silence (0), so that any
// stretch recorded or heard can be told apart: content to feed a source.
std::vector<uint8_t> NumberedSamples(size_t samples, uint32_t seed);

// Whether `heard` is `expected` with nothing but silence (`silence` bytes,
// in whole frames) before and after it.
bool HeardExactly(const std::vector<uint8_t>& heard, const std::vector<uint8_t>& expected, uint8_t silence = 0);

}  // namespace testsupport
