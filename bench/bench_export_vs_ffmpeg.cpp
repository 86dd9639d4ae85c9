// The export against ffmpeg on the same machine in the same run: one hour of
// GSM 6.10 speech (8000 Hz speech-like PCM coded as the recorder codes it)
// to Ogg Opus and to MP3, quillon-wav encode (the program's export engine)
// against ffmpeg doing the same conversion with the same coders and the same
// settings: libopus at 16 kbit/s (complexity 10, the audio application, 20
// ms frames, variable rate), lame at VBR quality 5. Paired runs whose order
// alternates; prints each run's wall, user and system time, peak resident
// memory and file size, the medians and the median of the pairs' time ratios.
//
//   QUILLON_BENCH_HOURS  length of the recording in hours (default 1)
//   QUILLON_BENCH_RUNS   pairs of runs per format (default 5)

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compare/speech_wav.h"
#include "compare/timed_run.h"

namespace {

using bench::Measure;
using bench::Median;

double SizeMiB(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_size / 1048576.0 : 0;
}

struct Format {
  const char* name;
  const char* extension;
  std::vector<std::string> ffmpegCodec;
};

}  // namespace

int main() {
  const int hours = bench::EnvInt("QUILLON_BENCH_HOURS", 1), runs = bench::EnvInt("QUILLON_BENCH_RUNS", 5);
  const std::string speech = bench::TempPath("speech.wav"), gsm = bench::TempPath("gsm.wav");
  if (!bench::WriteSpeech(speech, hours * 3600) ||
      !bench::TimedRun({QUILLON_WAV_EXE, "encode", "--format", "49", speech, gsm}).ran) {
    std::fprintf(stderr, "bench_export_vs_ffmpeg: cannot make the GSM recording in %s\n", gsm.c_str());
    return 1;
  }
  std::remove(speech.c_str());
  std::printf(
      "quillon-wav encode against ffmpeg: %d h of GSM 6.10 speech (%.1f MiB), %d pairs of runs per format\n",
      hours, SizeMiB(gsm), runs);
  const Format formats[] = {
      {"Ogg Opus",
       ".opus",
       {"-c:a", "libopus", "-b:a", "16k", "-compression_level", "10", "-frame_duration", "20"}},
      {"MP3", ".mp3", {"-c:a", "libmp3lame", "-q:a", "5"}},
  };
  int status = 0;
  for (const Format& format : formats) {
    const std::string ours = bench::TempPath((std::string("ours") + format.extension).c_str());
    const std::string theirs = bench::TempPath((std::string("ffmpeg") + format.extension).c_str());
    std::vector<std::string> ffmpeg = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", gsm};
    ffmpeg.insert(ffmpeg.end(), format.ffmpegCodec.begin(), format.ffmpegCodec.end());
    ffmpeg.push_back(theirs);
    std::printf("\n%s\n%4s  %30s  %30s  %5s\n", format.name, "run", "ours wall/user/sys, RSS, size",
                "ffmpeg wall/user/sys, RSS, size", "ratio");
    std::vector<Measure> ourRuns, theirRuns;
    std::vector<double> ratios;
    for (int r = 0; r < runs; ++r) {
      const auto runOurs = [&] { return bench::TimedRun({QUILLON_WAV_EXE, "encode", gsm, ours}); };
      const auto runTheirs = [&] { return bench::TimedRun(ffmpeg); };
      Measure a, b;
      if (r % 2 == 0) {
        a = runOurs();
        b = runTheirs();
      } else {
        b = runTheirs();
        a = runOurs();
      }
      if (!a.ran) {
        std::fprintf(stderr, "bench_export_vs_ffmpeg: quillon-wav encode failed\n");
        return 1;
      }
      ourRuns.push_back(a);
      if (!b.ran) {
        std::printf(
            "%4d  %4.2f/%4.2f/%4.2f s %5.1f MiB %5.2f MiB  (ffmpeg did not run: scripts/install-deps "
            "installs it)\n",
            r + 1, a.wall, a.user, a.sys, a.rssMiB, SizeMiB(ours));
        status = 1;
        continue;
      }
      theirRuns.push_back(b);
      ratios.push_back(a.wall / b.wall);
      std::printf(
          "%4d  %4.2f/%4.2f/%4.2f s %5.1f MiB %5.2f MiB  %4.2f/%4.2f/%4.2f s %5.1f MiB %5.2f MiB  %5.3f\n",
          r + 1, a.wall, a.user, a.sys, a.rssMiB, SizeMiB(ours), b.wall, b.user, b.sys, b.rssMiB,
          SizeMiB(theirs), a.wall / b.wall);
    }
    std::printf(
        "median ours:   %.2f s wall, %.2f s user, %.2f s sys, %.1f MiB peak resident, %.2f MiB written\n",
        Median(ourRuns, &Measure::wall), Median(ourRuns, &Measure::user), Median(ourRuns, &Measure::sys),
        Median(ourRuns, &Measure::rssMiB), SizeMiB(ours));
    if (!theirRuns.empty()) {
      std::printf(
          "median ffmpeg: %.2f s wall, %.2f s user, %.2f s sys, %.1f MiB peak resident, %.2f MiB written\n",
          Median(theirRuns, &Measure::wall), Median(theirRuns, &Measure::user),
          Median(theirRuns, &Measure::sys), Median(theirRuns, &Measure::rssMiB), SizeMiB(theirs));
      std::printf("median ratio of wall times (ours / ffmpeg): %.3f\n", Median(ratios));
    }
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
  }
  std::remove(gsm.c_str());
  return status;
}
