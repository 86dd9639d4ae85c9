#pragma once
// A private home for the real program, as a new user's: documents and
// configuration folders, and ALSA's default device pointed at files (the
// microphone reads a voice-like signal, everything played or captured goes
// to one file), so that it records and plays in real time with no sound card
// and no sound server; or, with UseServer, a private sound server.

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
  // The program reaches this sound server (a PULSE_SERVER value) instead of
  // ALSA's file plugin.
  void UseServer(const std::string& server) { server_ = server; }
  std::string Input() const { return dir_ + "/in.raw"; }
  // The environment the program runs in on display `display`.
  std::vector<std::string> Environment(const std::string& display) const;
  std::string Recording() const { return dir_ + "/home/Documents/Quillon/Recording00.wav"; }
  std::string DeviceOutput() const { return dir_ + "/out.raw"; }
  std::string Log() const { return dir_ + "/quillon.log"; }
  std::string Preferences() const { return dir_ + "/home/.config/quillon/preferences.txt"; }

 private:
  std::string dir_;
  std::string server_ = "unix:/nonexistent";  // none: ALSA's default device it is
  bool ok_ = false;
};

}  // namespace bench
