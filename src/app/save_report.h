#pragma once
// What the program could not keep at exit: settings.dat, preferences.txt or
// the registry store not written (a read-only or full folder, a folder in the
// way), or left as it was because it could not be read at start. Said on
// standard error and, unless the exit came from a signal (no one may be
// there to answer a box), in one error box.

#include <string>
#include <vector>

namespace settings {
class SettingsStore;
}

namespace app {

class SaveReport {
 public:
  // `what` names the file's content for the user ("The settings"); `error`
  // is why (errno); `unreadable` when it was kept because it could not be
  // read at start.
  void Add(const std::u16string& what, const std::string& hostPath, int error, bool unreadable);
  bool Empty() const { return texts_.empty(); }
  // Every failure, one paragraph each.
  std::u16string Text() const;
  // Standard error always; the box only when inBox.
  void Tell(void* owner, bool inBox) const;

 private:
  std::vector<std::u16string> texts_;
};

// Saves settings.dat, preferences.txt, and checks the last write of the
// registry store, adding every failure to the report.
void SaveAll(settings::SettingsStore& store, SaveReport* report);

// The reason for an error as a sentence: the system's text, or "It is not a
// regular file." for a FIFO or device.
std::u16string ReasonText(int error);

}  // namespace app
