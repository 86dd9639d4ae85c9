#include "support/pulse_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace testsupport {

namespace {

namespace fs = std::filesystem;

bool Installed(const char* program) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    if (access((std::string(dir) + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool CanConnect(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// A property value as module arguments want it, in single quotes with the
// description in double quotes inside, and that quoted again for the shell.
std::string Properties(const PulseServer::Pipe& pipe) {
  return std::string("\"") + (pipe.input ? "source_properties" : "sink_properties") +
         "='device.description=\\\"" + pipe.description + "\\\"'\"";
}

size_t FrameBytes(const PulseServer::Pipe& pipe) {
  return static_cast<size_t>(pipe.channels) * (pipe.format == "u8" ? 1 : 2);
}

}  // namespace

PulseServer::PulseServer(const std::vector<Pipe>& pipes) {
  if (!Installed("pulseaudio") || !Installed("pactl")) {
    why_ = "pulseaudio and pactl are not installed (scripts/install-deps installs them)";
    return;
  }
  char pattern[] = "/tmp/quillon-pulse.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    why_ = "no temporary folder";
    return;
  }
  dir_ = pattern;
  socket_ = dir_ + "/native";
  const char* old = std::getenv("PULSE_SERVER");
  hadServer_ = old != nullptr;
  if (old != nullptr) oldServer_ = old;
  if (!Start()) return;
  setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
  setenv("PULSE_COOKIE", (dir_ + "/cookie").c_str(), 1);
  for (const Pipe& pipe : pipes) {
    if (!Load(pipe)) {
      why_ = "the server did not load the pipe " + pipe.name;
      return;
    }
  }
  drainer_ = std::thread([this] { DrainSinks(); });
  ok_ = true;
}

bool PulseServer::Start() {
  for (const char* sub : {"/home", "/runtime", "/state"}) fs::create_directories(dir_ + sub);
  fs::permissions(dir_ + "/runtime", fs::perms::owner_all);
  {
    std::ofstream config(dir_ + "/server.pa");
    // Only what the tests ask for: no hardware, no session bus, nothing that
    // moves or suspends streams behind their back.
    config << "load-module module-native-protocol-unix socket=" << socket_ << " auth-anonymous=1\n";
  }
  const std::string home = "HOME=" + dir_ + "/home";
  const std::string runtime = "XDG_RUNTIME_DIR=" + dir_ + "/runtime";
  const std::string config = "XDG_CONFIG_HOME=" + dir_ + "/home/.config";
  const std::string state = "PULSE_STATE_PATH=" + dir_ + "/state";
  const std::string runtimePath = "PULSE_RUNTIME_PATH=" + dir_ + "/runtime";
  const std::string cookie = "PULSE_COOKIE=" + dir_ + "/cookie";
  std::vector<std::string> env = {home, runtime, config, state, runtimePath, cookie, "PATH=/usr/bin:/bin",
                                  "LANG=C"};
  const std::string script = "--file=" + dir_ + "/server.pa";
  const std::string log = "--log-target=file:" + dir_ + "/server.log";
  // A daemon whose test died with it goes by itself once nobody has used it
  // for 20 s.
  std::vector<std::string> args = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=20",
                                   "--disallow-exit", "--use-pid-file=no", "--system=no", script, log};
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/stderr.log").c_str(), O_WRONLY | O_CREAT, 0644);
  const int spawned = posix_spawnp(&daemon_, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    daemon_ = -1;
    why_ = "pulseaudio could not be started";
    return false;
  }
  for (int i = 0; i < 400; ++i) {
    if (CanConnect(socket_)) return true;
    int status = 0;
    if (waitpid(daemon_, &status, WNOHANG) == daemon_) {
      daemon_ = -1;
      why_ = "pulseaudio ended at start (see " + dir_ + "/server.log)";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  why_ = "pulseaudio did not open its socket";
  return false;
}

PulseServer::~PulseServer() {
  quit_ = true;
  for (std::thread& t : feeders_) t.join();
  if (drainer_.joinable()) drainer_.join();
  if (daemon_ > 0) {
    kill(daemon_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 300 && waitpid(daemon_, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (waitpid(daemon_, &status, WNOHANG) == 0) {
      kill(daemon_, SIGKILL);
      waitpid(daemon_, &status, 0);
    }
  }
  for (auto& [name, device] : devices_) {
    if (device.fd >= 0) close(device.fd);
  }
  if (hadServer_) {
    setenv("PULSE_SERVER", oldServer_.c_str(), 1);
  } else {
    unsetenv("PULSE_SERVER");
  }
  unsetenv("PULSE_COOKIE");
  std::error_code ignored;
  if (!dir_.empty() && std::getenv("QUILLON_KEEP_PULSE") == nullptr) fs::remove_all(dir_, ignored);
}

int PulseServer::Pactl(const std::string& args, std::string* out) const {
  const std::string command = "PULSE_SERVER=unix:" + socket_ + " PULSE_COOKIE=" + dir_ + "/cookie pactl " + args +
                              " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  std::array<char, 4096> chunk;
  size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) text.append(chunk.data(), n);
  const int status = pclose(pipe);
  if (out != nullptr) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PulseServer::Load(const Pipe& pipe) {
  Device device;
  device.pipe = pipe;
  device.fifo = dir_ + "/" + pipe.name + ".fifo";
  const std::string audio = " format=" + pipe.format + " rate=" + std::to_string(pipe.rate) +
                           " channels=" + std::to_string(pipe.channels);
  std::string args = pipe.input ? "load-module module-pipe-source source_name=" + pipe.name
                                : "load-module module-pipe-sink sink_name=" + pipe.name +
                                      " use_system_clock_for_timing=yes";
  args += " file=" + device.fifo + audio + " " + Properties(pipe);
  std::string out;
  if (Pactl(args, &out) != 0) return false;
  device.module = std::atoi(out.c_str());
  if (!pipe.input) {
    device.fd = open(device.fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (device.fd < 0) return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  devices_[pipe.name] = device;
  return true;
}

bool PulseServer::Unload(const std::string& name) {
  int module;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = devices_.find(name);
    if (found == devices_.end()) return false;
    module = found->second.module;
  }
  const bool ok = Pactl("unload-module " + std::to_string(module)) == 0;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = devices_.find(name);
  if (found->second.fd >= 0) close(found->second.fd);
  devices_.erase(found);
  return ok;
}

void PulseServer::Feed(const std::string& source, std::vector<uint8_t> bytes) {
  std::string fifo;
  size_t perSecond = 16000;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Device& device = devices_.at(source);
    fifo = device.fifo;
    perSecond = FrameBytes(device.pipe) * static_cast<size_t>(device.pipe.rate);
  }
  feeders_.emplace_back([this, fifo, perSecond, bytes = std::move(bytes)] {
    // Non-blocking: a source that is not being read leaves the pipe full,
    // and then what is due is lost, as a microphone's input is that nobody
    // takes; it is never delivered late in a burst.
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    // 20 ms at a time, each at its moment from the start: the pace of a
    // microphone, whoever reads it.
    const size_t chunk = perSecond / 50;
    const auto start = std::chrono::steady_clock::now();
    for (size_t done = 0; done < bytes.size() && !quit_;) {
      const size_t n = std::min(chunk, bytes.size() - done);
      const ssize_t w = write(fd, bytes.data() + done, n);
      if (w < 0 && errno != EAGAIN) break;
      done += w > 0 ? static_cast<size_t>(w) : n;
      std::this_thread::sleep_until(start + std::chrono::microseconds(done * 1000000 / perSecond));
    }
    close(fd);
  });
}

void PulseServer::Fed() {
  for (std::thread& t : feeders_) t.join();
  feeders_.clear();
}

void PulseServer::DrainSinks() {
  std::vector<uint8_t> chunk(65536);
  while (!quit_) {
    std::vector<pollfd> fds;
    std::vector<std::string> names;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto& [name, device] : devices_) {
        if (device.fd >= 0) {
          fds.push_back({device.fd, POLLIN, 0});
          names.push_back(name);
        }
      }
    }
    if (fds.empty() || poll(fds.data(), fds.size(), 20) <= 0) {
      if (fds.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      // A sink removed meanwhile closed its pipe, and the number may already
      // be another file's.
      const auto device = devices_.find(names[i]);
      if (device == devices_.end() || device->second.fd != fds[i].fd) continue;
      const ssize_t n = read(fds[i].fd, chunk.data(), chunk.size());
      if (n > 0) heard_[names[i]].insert(heard_[names[i]].end(), chunk.begin(), chunk.begin() + n);
    }
  }
}

std::vector<uint8_t> PulseServer::Take(const std::string& sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint8_t> out;
  out.swap(heard_[sink]);
  return out;
}

std::vector<uint8_t> PulseServer::Heard(const std::string& sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  return heard_[sink];
}

std::vector<uint8_t> NumberedSamples(size_t samples, uint32_t seed) {
  std::vector<uint8_t> out(samples * 2);
  for (size_t i = 0; i < samples; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const auto v = static_cast<uint16_t>((seed >> 16) | 1);
    out[2 * i] = static_cast<uint8_t>(v & 0xFF);
    out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  return out;
}

bool HeardExactly(const std::vector<uint8_t>& heard, const std::vector<uint8_t>& expected, uint8_t silence) {
  auto loud = [silence](uint8_t b) { return b != silence; };
  const auto expectedFirst = std::find_if(expected.begin(), expected.end(), loud);
  const auto heardFirst = std::find_if(heard.begin(), heard.end(), loud);
  if (expectedFirst == expected.end()) {
    return heardFirst == heard.end() && heard.size() >= expected.size();
  }
  const ptrdiff_t offset = (heardFirst - heard.begin()) - (expectedFirst - expected.begin());
  if (offset < 0 || static_cast<size_t>(offset) + expected.size() > heard.size()) return false;
  if (!std::equal(expected.begin(), expected.end(), heard.begin() + offset)) return false;
  return std::none_of(heard.begin() + offset + static_cast<ptrdiff_t>(expected.size()), heard.end(), loud);
}

}  // namespace testsupport
