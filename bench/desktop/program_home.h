#pragma once
// A private home for the real program, as a new user's: documents and
// configuration folders, and ALSA's default device pointed at files (the
// microphone reads a voice-like signal, everything played or captured goes
// to one file), so that it records and plays in real time with no sound card
// and no sound server.

#include <string>
#include <vector>

namespace bench {

class ProgramHome {
 public:
  // Under `parent`; the input file holds `inputSeconds` of signal.
  ProgramHome(const std::string& parent, const std::string& name, int inputSeconds);
  ~ProgramHome();
  ProgramHome(const ProgramHome&) = delete;
  ProgramHome& operator=(const ProgramHome&) = delete;

  bool Ok() const { return ok_; }
  // The environment the program runs in on display `display`.
  std::vector<std::string> Environment(const std::string& display) const;
  std::string Recording() const { return dir_ + "/home/Documents/Quillon/Recording00.wav"; }
  std::string DeviceOutput() const { return dir_ + "/out.raw"; }
  std::string Log() const { return dir_ + "/quillon.log"; }
  std::string Preferences() const { return dir_ + "/home/.config/quillon/preferences.txt"; }

 private:
  std::string dir_;
  bool ok_ = false;
};

}  // namespace bench
