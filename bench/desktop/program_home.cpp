#include "desktop/program_home.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "desktop/child_process.h"

namespace bench {
namespace {

// 300 to 900 Hz and back every four seconds, its loudness swinging three
// times a second: the level meter moves and the coder has work as with a voice.
bool WriteVoice(const std::string& path, int seconds) {
  constexpr int kRate = 8000;
  std::ofstream out(path, std::ios::binary);
  double phase = 0;
  for (int n = 0; n < seconds * kRate; ++n) {
    const double t = static_cast<double>(n) / kRate, sweep = std::fmod(t, 4.0) / 2.0;
    const double frequency = 300 + 600 * (sweep < 1 ? sweep : 2 - sweep);
    phase += 2 * M_PI * frequency / kRate;
    const double loudness = 0.6 * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t));
    const auto sample = static_cast<int16_t>(std::lround(32767 * loudness * std::sin(phase)));
    out.write(reinterpret_cast<const char*>(&sample), sizeof sample);
  }
  return static_cast<bool>(out);
}

}  // namespace

ProgramHome::ProgramHome(const std::string& parent, const std::string& name, int inputSeconds)
    : dir_(parent + "/" + name) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(dir_ + "/home/Documents", error);
  fs::create_directories(dir_ + "/home/.config/alsa", error);
  fs::create_directories(dir_ + "/runtime", error);
  fs::permissions(dir_ + "/runtime", fs::perms::owner_all, error);
  std::ofstream(dir_ + "/home/.config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n";
  std::ofstream(dir_ + "/home/.config/alsa/asoundrc")
      << "pcm.!default {\n"
         "  type file\n"
         "  slave.pcm \"null\"\n"
         "  format \"raw\"\n"
         "  file \""
      << DeviceOutput() << "\"\n  infile \"" << dir_ << "/in.raw\"\n}\n";
  ok_ = WriteVoice(dir_ + "/in.raw", inputSeconds) && fs::is_directory(dir_ + "/runtime");
}

ProgramHome::~ProgramHome() {
  std::error_code error;
  std::filesystem::remove_all(dir_, error);
}

std::vector<std::string> ProgramHome::Environment(const std::string& display) const {
  const std::string home = dir_ + "/home";
  return bench::Environment({"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                             "XDG_DATA_HOME=" + home + "/.local/share", "XDG_CACHE_HOME=" + home + "/.cache",
                             "XDG_RUNTIME_DIR=" + dir_ + "/runtime", "DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                             // No other sound server may take the default device over.
                             "PULSE_SERVER=" + server_},
                            {"QT_SCALE_FACTOR", "QUILLON_WAVE_BACKEND", "WAYLAND_DISPLAY", "XAUTHORITY"});
}

}  // namespace bench
