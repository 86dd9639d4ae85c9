// The real quillon on an X desktop (a private Xvfb), seen from outside as a
// person would: how soon its window is there and painted after the start,
// how much of one core it takes while recording GSM and while playing with
// the view drawing, at 1x and at 0.75x (chosen from the Tools menu), and
// its peak resident memory. ALSA's default device is pointed at files, so
// recording and playing run in real time. Then the same through a private
// PulseAudio daemon (the program's sound-server backend) on a pipe source fed
// at real time, beside `arecord -D pulse` on that source in the same stretch,
// with the time from SIGTERM to the program's end.
//
//   QUILLON_BENCH_STARTS   warm starts (default 9); a third as many cold ones
//   QUILLON_BENCH_RUNS     recording and playing sessions (default 3)
//   QUILLON_BENCH_SECONDS  the measured stretch of each (default 20)
//   QUILLON_BENCH_PARTS    which parts run: any of "start", "alsa" and
//                          "server" (default all three)

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "desktop/child_process.h"
#include "desktop/page_cache.h"
#include "desktop/proc_stats.h"
#include "desktop/program_home.h"
#include "desktop/x_display.h"
#include "support/pulse_server.h"

namespace {

using bench::Clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr const char* kTitle = "Quillon";
// Skin coordinates of the transport buttons' centres.
constexpr int kRecord[] = {19, 98}, kStop[] = {89, 98}, kPlay[] = {54, 98};
// The "Tools" drop-down of the menu bar, and the keys from there to
// Playback Speed > 0.75x.
constexpr int kTools[] = {25, 281};
const std::vector<std::string> kToSlowSpeed = {"Down", "Down", "Down", "Down", "Right", "Down", "Return"};
// A frame counts as the settled picture when at most this share of its pixels differ.
constexpr double kSamePicture = 0.005;
// A picture that has not changed for this long is the settled one.
constexpr auto kSettled = milliseconds(1000);
constexpr size_t kMaxFrames = 200;

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string FirstLine(const std::string& path, const std::string& prefix) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "?";
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " " + five;
}

struct Desktop {
  bench::Xvfb server;
  bench::WindowWatch watch;
  std::string tempDir;
};

// The program from its start to a settled window; it keeps running.
struct Started {
  pid_t pid = -1;
  unsigned long window = 0;
  double mappedMs = -1;   // start to the window's map
  double paintedMs = -1;  // start to the first read showing the settled picture
  double readMs = 0;      // median time between two reads of the window
  std::string failure;
};

Started Start(Desktop& desktop, const bench::ProgramHome& home) {
  Started s;
  const auto env = home.Environment(desktop.server.Name());
  desktop.watch.ForgetEvents();
  const auto start = Clock::now();
  s.pid = bench::Spawn({QUILLON_EXE}, env, home.Log());
  if (s.pid < 0) {
    s.failure = "cannot start " QUILLON_EXE;
    return s;
  }
  Clock::time_point mapped;
  s.window = desktop.watch.WaitMapped(kTitle, start + seconds(20), &mapped);
  if (s.window == 0) {
    s.failure = "no window titled Quillon (see " + home.Log() + ")";
    return s;
  }
  s.mappedMs = Ms(mapped - start);
  // Every distinct picture with the time it was first seen, until it holds still.
  std::vector<bench::Frame> frames;
  std::vector<double> gaps;
  bench::Frame frame;
  auto lastRead = mapped, lastChange = mapped;
  while (Clock::now() - lastChange < kSettled && Clock::now() - start < seconds(20) && frames.size() < kMaxFrames) {
    if (desktop.watch.Grab(s.window, &frame)) {
      gaps.push_back(Ms(frame.seen - lastRead));
      lastRead = frame.seen;
      if (frames.empty() || bench::DifferentPixels(frame, frames.back()) > 0) {
        frames.push_back(frame);
        lastChange = frame.seen;
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  if (frames.empty() || Clock::now() - lastChange < kSettled) {
    s.failure = "the window did not settle";
    return s;
  }
  const bench::Frame& settled = frames.back();
  for (const bench::Frame& f : frames) {
    if (bench::DifferentPixels(f, settled) <= kSamePicture * settled.pixels.size()) {
      s.paintedMs = Ms(f.seen - start);
      break;
    }
  }
  s.readMs = Median(gaps);
  return s;
}

// A pen tap at skin coordinates, as the end-to-end tests tap.
bool Tap(const Desktop& desktop, unsigned long window, const int (&at)[2]) {
  const bool done = bench::RunToEnd({"xdotool", "mousemove", "--window", std::to_string(window), std::to_string(at[0]),
                                     std::to_string(at[1]), "mousedown", "1", "sleep", "0.05", "mouseup", "1"},
                                    bench::Environment({"DISPLAY=" + desktop.server.Name()}, {}));
  if (!done) std::fprintf(stderr, "bench_desktop: xdotool failed (scripts/install-deps installs it)\n");
  std::this_thread::sleep_for(milliseconds(200));
  return done;
}

// Keys typed to whatever has the keyboard (an open menu), as a person types.
bool Keys(const Desktop& desktop, const std::vector<std::string>& keys) {
  std::vector<std::string> command = {"xdotool", "key", "--delay", "50"};
  command.insert(command.end(), keys.begin(), keys.end());
  const bool done = bench::RunToEnd(command, bench::Environment({"DISPLAY=" + desktop.server.Name()}, {}));
  std::this_thread::sleep_for(milliseconds(200));
  return done;
}

// CPU time of the program, of the X server and of a rival beside them (when
// one is given) over a stretch of wall time.
struct Stretch {
  double program = 0, server = 0, rival = -1;  // shares of one core, percent
  double wall = 0;
};

Stretch Measure(const Desktop& desktop, pid_t pid, Clock::duration length, pid_t rival = 0) {
  const auto t0 = Clock::now();
  const bench::CpuSample p0 = bench::SampleCpu(pid), x0 = bench::SampleCpu(desktop.server.Pid());
  const bench::CpuSample r0 = rival > 0 ? bench::SampleCpu(rival) : bench::CpuSample{};
  std::this_thread::sleep_for(length);
  const bench::CpuSample p1 = bench::SampleCpu(pid), x1 = bench::SampleCpu(desktop.server.Pid());
  const bench::CpuSample r1 = rival > 0 ? bench::SampleCpu(rival) : bench::CpuSample{};
  Stretch s;
  s.wall = Seconds(Clock::now() - t0);
  s.program = 100 * bench::CpuSecondsBetween(p0, p1) / s.wall;
  s.server = 100 * bench::CpuSecondsBetween(x0, x1) / s.wall;
  if (rival > 0) {
    const double r = bench::CpuSecondsBetween(r0, r1);
    s.rival = r >= 0 ? 100 * r / s.wall : -1;
  }
  return s;
}

int StartBench(Desktop& desktop, int warmRuns) {
  const int coldRuns = std::max(1, warmRuns / 3);
  std::printf("\nStart to the first painted window: %d cold and %d warm starts\n", coldRuns, warmRuns);
  // A first start (not counted) makes the warm home and tells which files a cold start has to read.
  bench::ProgramHome warmHome(desktop.tempDir, "warm", 1);
  Started first = Start(desktop, warmHome);
  std::vector<std::string> files;
  if (first.failure.empty()) {
    files = bench::MappedFiles(first.pid);
    files.push_back(QUILLON_EXE);
  }
  bench::Terminate(first.pid, seconds(10));
  if (!first.failure.empty()) {
    std::fprintf(stderr, "bench_desktop: %s\n", first.failure.c_str());
    return 1;
  }
  std::printf("%-5s %3s  %10s  %11s  %9s  %s\n", "kind", "run", "mapped ms", "painted ms", "read ms",
              "program's files in the page cache before the start");
  std::vector<double> cold, coldMapped, warm, warmMapped;
  for (int c = 0; c < coldRuns; ++c) {
    for (int w = -1; w < warmRuns / coldRuns + (c < warmRuns % coldRuns ? 1 : 0); ++w) {
      const bool isCold = w < 0;
      std::string cache;
      std::unique_ptr<bench::ProgramHome> coldHome;
      if (isCold) {
        // A new user's first start with the program's files read from disk.
        coldHome = std::make_unique<bench::ProgramHome>(desktop.tempDir, "cold" + std::to_string(c), 1);
        bench::Evict(files);
        const bench::CacheUse use = bench::Residency(files);
        char text[96];
        std::snprintf(text, sizeof text, "%.1f of %.1f MiB", use.resident / 1048576.0, use.bytes / 1048576.0);
        cache = text;
      }
      const Started s = Start(desktop, isCold ? *coldHome : warmHome);
      const int status = bench::Terminate(s.pid, seconds(10));
      if (!s.failure.empty()) {
        std::fprintf(stderr, "bench_desktop: %s\n", s.failure.c_str());
        return 1;
      }
      if (status != 0) std::fprintf(stderr, "bench_desktop: exit status %d after SIGTERM\n", status);
      (isCold ? cold : warm).push_back(s.paintedMs);
      (isCold ? coldMapped : warmMapped).push_back(s.mappedMs);
      std::printf("%-5s %3zu  %10.1f  %11.1f  %9.2f  %s\n", isCold ? "cold" : "warm", (isCold ? cold : warm).size(),
                  s.mappedMs, s.paintedMs, s.readMs, cache.c_str());
    }
  }
  std::printf("median cold start: window mapped %.0f ms, painted %.0f ms (%.0f to %.0f)\n", Median(coldMapped),
              Median(cold), *std::min_element(cold.begin(), cold.end()), *std::max_element(cold.begin(), cold.end()));
  std::printf("median warm start: window mapped %.0f ms, painted %.0f ms (%.0f to %.0f)\n", Median(warmMapped),
              Median(warm), *std::min_element(warm.begin(), warm.end()), *std::max_element(warm.begin(), warm.end()));
  return 0;
}

int SessionBench(Desktop& desktop, int runs, int stretchSeconds) {
  std::printf("\nRecording GSM and playing it in real time: %d sessions, %d s measured of each\n", runs,
              stretchSeconds);
  std::printf("%3s  %14s  %14s  %14s  %14s  %11s  %12s  %13s  %s\n", "run", "idle cpu/X %", "record cpu/X %",
              "play cpu/X %", "0.75x cpu/X %", "written B/s", "played B/s", "RSS rec MiB", "VmHWM MiB rec/end");
  const auto stretch = seconds(stretchSeconds);
  std::vector<double> idle, record, play, slow, idleX, recordX, playX, slowX, hwmRecord, hwmEnd, exits;
  for (int r = 0; r < runs; ++r) {
    bench::ProgramHome home(desktop.tempDir, "session" + std::to_string(r), stretchSeconds * 3 + 30);
    if (!home.Ok()) {
      std::fprintf(stderr, "bench_desktop: cannot make the program's home\n");
      return 1;
    }
    const Started s = Start(desktop, home);
    if (!s.failure.empty()) {
      bench::Terminate(s.pid, seconds(10));
      std::fprintf(stderr, "bench_desktop: %s\n", s.failure.c_str());
      return 1;
    }
    const Stretch still = Measure(desktop, s.pid, stretch / 4);

    if (!Tap(desktop, s.window, kRecord)) {
      bench::Terminate(s.pid, seconds(10));
      return 1;
    }
    std::this_thread::sleep_for(seconds(2));
    const long long written0 = bench::FileSize(home.Recording());
    const long rss0 = bench::StatusKiB(s.pid, "VmRSS");
    const Stretch recording = Measure(desktop, s.pid, stretch);
    const long long written1 = bench::FileSize(home.Recording());
    const long rss1 = bench::StatusKiB(s.pid, "VmRSS"), hwm = bench::StatusKiB(s.pid, "VmHWM");
    // A longer recording than the playback measures, so that it plays throughout.
    std::this_thread::sleep_for(seconds(2));
    Tap(desktop, s.window, kStop);
    std::this_thread::sleep_for(seconds(1));

    Tap(desktop, s.window, kPlay);
    std::this_thread::sleep_for(seconds(1));
    const long long played0 = bench::FileSize(home.DeviceOutput());
    const Stretch playing = Measure(desktop, s.pid, stretch);
    const long long played1 = bench::FileSize(home.DeviceOutput());

    // The same file again from its start, at 0.75x from the Tools menu: the
    // 20 s measured play 15 s of it.
    Tap(desktop, s.window, kStop);
    Tap(desktop, s.window, kTools);
    Keys(desktop, kToSlowSpeed);
    Tap(desktop, s.window, kPlay);
    std::this_thread::sleep_for(seconds(1));
    const long long slow0 = bench::FileSize(home.DeviceOutput());
    const Stretch slower = Measure(desktop, s.pid, stretch);
    const long long slow1 = bench::FileSize(home.DeviceOutput());
    const long hwmAtEnd = bench::StatusKiB(s.pid, "VmHWM");
    const auto term = Clock::now();
    const int status = bench::Terminate(s.pid, seconds(10));
    exits.push_back(Ms(Clock::now() - term));
    if (status != 0) std::fprintf(stderr, "bench_desktop: exit status %d after SIGTERM\n", status);
    std::string preferences;
    std::getline(std::ifstream(home.Preferences()) >> std::ws, preferences, '\0');
    if (preferences.find("PlaybackSpeed=75") == std::string::npos) {
      std::fprintf(stderr, "bench_desktop: run %d did not set 0.75x from the Tools menu\n", r + 1);
      return 1;
    }

    const double writtenRate = (written1 - written0) / recording.wall, playedRate = (played1 - played0) / playing.wall;
    const double slowRate = (slow1 - slow0) / slower.wall;
    std::printf(
        "%3d  %6.2f / %5.2f  %6.2f / %5.2f  %6.2f / %5.2f  %6.2f / %5.2f  %11.0f  %5.0f, %5.0f  %5.1f to %4.1f  "
        "%5.1f / %5.1f\n",
        r + 1, still.program, still.server, recording.program, recording.server, playing.program, playing.server,
        slower.program, slower.server, writtenRate, playedRate, slowRate, rss0 / 1024.0, rss1 / 1024.0,
        hwm / 1024.0, hwmAtEnd / 1024.0);
    // GSM at 8000 Hz is 1625 bytes a second; playing sends 16000 bytes a
    // second of 16-bit samples, at any speed.
    if (writtenRate < 1400 || playedRate < 14000 || slowRate < 14000) {
      std::fprintf(stderr, "bench_desktop: run %d did not record or play in real time (see %s)\n", r + 1,
                   home.Log().c_str());
      return 1;
    }
    idle.push_back(still.program);
    idleX.push_back(still.server);
    record.push_back(recording.program);
    recordX.push_back(recording.server);
    play.push_back(playing.program);
    playX.push_back(playing.server);
    slow.push_back(slower.program);
    slowX.push_back(slower.server);
    hwmRecord.push_back(hwm / 1024.0);
    hwmEnd.push_back(hwmAtEnd / 1024.0);
  }
  std::printf(
      "median share of one core, quillon (Xvfb): idle %.2f %% (%.2f %%), recording GSM %.2f %% (%.2f %%), "
      "playing %.2f %% (%.2f %%), playing at 0.75x %.2f %% (%.2f %%)\n",
      Median(idle), Median(idleX), Median(record), Median(recordX), Median(play), Median(playX), Median(slow),
      Median(slowX));
  std::printf("median peak resident memory: %.1f MiB after %d s of recording, %.1f MiB after playing\n",
              Median(hwmRecord), stretchSeconds + 2, Median(hwmEnd));
  std::printf("median exit after SIGTERM (ALSA's file plugin): %.0f ms\n", Median(exits));
  return 0;
}

int NonSilentBytes(const std::vector<uint8_t>& bytes) {
  return static_cast<int>(std::count_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; }));
}

// The same sessions on the sound-server backend: a private PulseAudio
// daemon whose microphone is a pipe fed at real time and whose speaker is a
// pipe played at real time. arecord records the same source in the same
// stretch through ALSA's pulse plugin, for comparison.
int ServerBench(Desktop& desktop, int runs, int stretchSeconds) {
  testsupport::PulseServer server({{"mic", "Built-in Audio Analog Stereo", true}, {"speaker", "Speakers", false}});
  if (!server.Ok()) {
    std::fprintf(stderr, "bench_desktop: no sound server for the server backend's figures: %s\n",
                 server.Why().c_str());
    return 1;
  }
  const std::string address = std::getenv("PULSE_SERVER");
  std::printf("\nThe same on the sound-server backend (a private PulseAudio daemon), beside arecord -D pulse: "
              "%d sessions, %d s measured of each\n", runs, stretchSeconds);
  std::printf("%3s  %10s  %14s  %14s  %10s  %14s  %11s  %9s  %8s\n", "run", "painted ms", "record cpu/X %",
              "arecord cpu %", "ratio", "play cpu/X %", "written B/s", "heard B/s", "exit ms");
  const auto stretch = seconds(stretchSeconds);
  {
    // One microphone for every session: the voice-like signal at real time.
    bench::ProgramHome voice(desktop.tempDir, "voice", runs * (stretchSeconds * 2 + 40));
    std::ifstream in(voice.Input(), std::ios::binary);
    server.Feed("mic", std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  }
  std::vector<double> painted, record, arecord, ratio, play, exits;
  for (int r = 0; r < runs; ++r) {
    bench::ProgramHome home(desktop.tempDir, "server" + std::to_string(r), 1);
    home.UseServer(address);
    const Started s = Start(desktop, home);
    if (!s.failure.empty()) {
      bench::Terminate(s.pid, seconds(10));
      std::fprintf(stderr, "bench_desktop: %s\n", s.failure.c_str());
      return 1;
    }
    Tap(desktop, s.window, kRecord);
    std::this_thread::sleep_for(seconds(2));
    const pid_t rival = bench::Spawn({"arecord", "-q", "-D", "pulse", "-f", "S16_LE", "-r", "8000", "-c", "1",
                                      "-t", "raw", "/dev/null"},
                                     bench::Environment({"PULSE_SERVER=" + address}, {}), "");
    std::this_thread::sleep_for(milliseconds(500));
    const long long written0 = bench::FileSize(home.Recording());
    const Stretch recording = Measure(desktop, s.pid, stretch, rival);
    const long long written1 = bench::FileSize(home.Recording());
    bench::Terminate(rival, seconds(5));
    std::this_thread::sleep_for(seconds(2));
    Tap(desktop, s.window, kStop);
    std::this_thread::sleep_for(seconds(1));
    Tap(desktop, s.window, kPlay);
    std::this_thread::sleep_for(seconds(1));
    server.Take("speaker");
    const Stretch playing = Measure(desktop, s.pid, stretch);
    const int heard = NonSilentBytes(server.Take("speaker"));
    const auto term = Clock::now();
    const int status = bench::Terminate(s.pid, seconds(10));
    const double exitMs = Ms(Clock::now() - term);
    if (status != 0) std::fprintf(stderr, "bench_desktop: exit status %d after SIGTERM\n", status);
    const double writtenRate = (written1 - written0) / recording.wall, heardRate = heard / playing.wall;
    const double rivalShare = recording.rival;
    std::printf("%3d  %10.1f  %6.2f / %5.2f  %14.2f  %9.1fx  %6.2f / %5.2f  %11.0f  %9.0f  %8.0f\n", r + 1,
                s.paintedMs, recording.program, recording.server, rivalShare,
                rivalShare > 0 ? recording.program / rivalShare : 0, playing.program, playing.server, writtenRate,
                heardRate, exitMs);
    if (writtenRate < 1400 || heardRate < 10000) {
      std::fprintf(stderr, "bench_desktop: server run %d did not record or play in real time (see %s)\n", r + 1,
                   home.Log().c_str());
      return 1;
    }
    painted.push_back(s.paintedMs);
    record.push_back(recording.program);
    arecord.push_back(rivalShare);
    ratio.push_back(rivalShare > 0 ? recording.program / rivalShare : 0);
    play.push_back(playing.program);
    exits.push_back(exitMs);
  }
  std::printf("median on the server backend: start to painted %.0f ms; recording GSM %.2f %% of a core, arecord %.2f %%"
              " (ratio %.1f); playing %.2f %%; exit after SIGTERM %.0f ms\n",
              Median(painted), Median(record), Median(arecord), Median(ratio), Median(play), Median(exits));
  return 0;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it comes
  const int warmRuns = EnvInt("QUILLON_BENCH_STARTS", 9), runs = EnvInt("QUILLON_BENCH_RUNS", 3),
            stretchSeconds = EnvInt("QUILLON_BENCH_SECONDS", 20);
  Desktop desktop;
  std::string error;
  if (!desktop.server.Start(&error)) {
    std::fprintf(stderr, "bench_desktop: %s\n", error.c_str());
    return 1;
  }
  if (!desktop.watch.Open(desktop.server.Name())) {
    std::fprintf(stderr, "bench_desktop: cannot connect to Xvfb on %s\n", desktop.server.Name().c_str());
    return 1;
  }
  const char* tmp = std::getenv("TMPDIR");
  char pattern[256];
  std::snprintf(pattern, sizeof pattern, "%s/quillon-bench-desktop.XXXXXX", tmp != nullptr ? tmp : "/tmp");
  if (mkdtemp(pattern) == nullptr) {
    std::fprintf(stderr, "bench_desktop: cannot make %s\n", pattern);
    return 1;
  }
  desktop.tempDir = pattern;
  utsname system{};
  uname(&system);
  std::printf("quillon on Xvfb %s, ALSA's file plugin as the sound device; %ld cores, %s, Linux %s; load %s\n",
              desktop.server.Name().c_str(), sysconf(_SC_NPROCESSORS_ONLN),
              FirstLine("/proc/cpuinfo", "model name").c_str(), system.release, LoadAverage().c_str());
  const char* parts = std::getenv("QUILLON_BENCH_PARTS");
  const auto runs_part = [parts](const char* name) { return parts == nullptr || std::strstr(parts, name) != nullptr; };
  int result = runs_part("start") ? StartBench(desktop, warmRuns) : 0;
  if (result == 0 && runs_part("alsa")) result = SessionBench(desktop, runs, stretchSeconds);
  if (result == 0 && runs_part("server")) result = ServerBench(desktop, runs, stretchSeconds);
  std::printf("load at the end %s\n", LoadAverage().c_str());
  std::error_code ignored;
  std::filesystem::remove_all(desktop.tempDir, ignored);
  return result;
}
