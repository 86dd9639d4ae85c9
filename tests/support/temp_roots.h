#pragma once
// A temporary folder holding documents/, config/ and cards/<name>/ for each
// card, with every device root pointed at it; the roots go back to the
// system defaults and the folder is removed when the fixture ends.
//
//   testsupport::TempRoots roots;                      // one card, "Storage Card"
//   testsupport::TempRoots roots({u"SD", u"USBSTICK"});
//   roots.Documents()  -> host folder behind "\My Documents"

#include <string>
#include <vector>

namespace testsupport {

class TempRoots {
 public:
  explicit TempRoots(std::vector<std::u16string> cardNames = {u"Storage Card"});
  ~TempRoots();
  TempRoots(const TempRoots&) = delete;
  TempRoots& operator=(const TempRoots&) = delete;

  const std::string& Base() const { return base_; }
  std::string Documents() const { return base_ + "/documents"; }
  std::string Config() const { return base_ + "/config"; }
  // Host folder of a card given at construction.
  std::string Card(const std::u16string& name) const;

  // Removes the configuration folder, as on a machine that never ran the program.
  void RemoveConfig() const;

 private:
  std::string base_;
};

// Whole content of a host file ("" when it cannot be read).
std::string ReadHostFile(const std::string& hostPath);
// Writes a host file, creating or truncating it; false when it cannot.
bool WriteHostFile(const std::string& hostPath, const std::string& content);

}  // namespace testsupport
