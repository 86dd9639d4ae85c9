#pragma once
// A temporary folder holding documents/, config/ and cards/<name>/ for each
// card, with every device root pointed at it. The roots go back to their
// defaults and the folder is removed when the fixture ends.

#include <cstdint>
#include <functional>
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
  std::string Card(const std::u16string& name) const;  // host folder of a card given at construction
  void RemoveConfig() const;                           // as on a machine that never ran the program

 private:
  std::string base_;
};

// Whole content of a host file ("" when it cannot be read).
std::string ReadHostFile(const std::string& hostPath);
// Writes a host file, creating or truncating it; false when it cannot.
bool WriteHostFile(const std::string& hostPath, const std::string& content);
// The files under `base` this process holds open (by /proc/self/fd): what
// a stream left behind still keeps.
std::vector<std::string> OpenFilesUnder(const std::string& base);
// What `body` returns when run with files limited to `bytes` (a full disk
// alike: a write past it fails with EFBIG); the limit goes afterwards.
bool UnderFileSizeLimit(uint64_t bytes, const std::function<bool()>& body);

}  // namespace testsupport
