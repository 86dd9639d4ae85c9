// quillon-e2e-sound: what the export and playback-speed script checks in
// what the real program leaves behind, with libsndfile as the reader.
//
//   quillon-e2e-sound file FILE             prints "RATE CHANNELS SECONDS TITLE" as libsndfile reads it
//   quillon-e2e-sound tone OUT.raw HZ SECONDS
//       OUT (8000 Hz 16-bit mono, as the device heard it) is a tone of HZ
//       within 1 % lasting SECONDS within 2 %, silence at either end aside;
//       prints "HZ Hz for SECONDS s"
// Exit status 0 when the check holds, 1 with a line on stderr when not.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/signal_measure.h"

namespace {

constexpr int kRate = 8000;

int Fail(const std::string& why) {
  std::fprintf(stderr, "quillon-e2e-sound: %s\n", why.c_str());
  return 1;
}

int File(const char* path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (file == nullptr) return Fail(std::string(path) + ": " + sf_strerror(nullptr));
  // Counted by reading: Ogg Opus and MP3 give no exact length up front.
  std::vector<float> block(4096 * static_cast<size_t>(info.channels));
  long frames = 0;
  for (sf_count_t n; (n = sf_readf_float(file, block.data(), 4096)) > 0;) frames += static_cast<long>(n);
  const char* title = sf_get_string(file, SF_STR_TITLE);
  std::printf("%d %d %.3f %s\n", info.samplerate, info.channels,
              static_cast<double>(frames) / info.samplerate, title != nullptr ? title : "-");
  sf_close(file);
  return 0;
}

int Tone(const char* path, double hz, double seconds) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<float> s(bytes.size() / 2);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1])
                                                                         << 8) /
           32768.0f;
  // The device may add silence before and after: the tone is where it sounds.
  size_t first = 0, last = s.size();
  while (first < last && std::fabs(s[first]) < 0.05) ++first;
  while (last > first && std::fabs(s[last - 1]) < 0.05) --last;
  const double heard = static_cast<double>(last - first) / kRate;
  if (heard < 0.5) return Fail("no tone in " + std::string(path));
  const double measured = audiotest::ToneFrequency(s, kRate, hz, first, last);
  std::printf("%.1f Hz for %.3f s\n", measured, heard);
  if (std::fabs(measured - hz) > hz / 100) return Fail("the tone is at " + std::to_string(measured) + " Hz");
  if (std::fabs(heard - seconds) > seconds * 0.02)
    return Fail("the tone lasts " + std::to_string(heard) + " s");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "file" && argc == 3) return File(argv[2]);
  if (command == "tone" && argc == 5) return Tone(argv[2], std::atof(argv[3]), std::atof(argv[4]));
  std::fputs("usage: quillon-e2e-sound file FILE | tone OUT.raw HZ SECONDS\n", stderr);
  return 2;
}
