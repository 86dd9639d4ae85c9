#include "support/temp_roots.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/device_paths.h"
#include "platform/text.h"

namespace testsupport {

namespace fs = std::filesystem;

TempRoots::TempRoots(std::vector<std::u16string> cardNames) {
  base_ = (fs::temp_directory_path() / "quillon-test-XXXXXX").string();
  if (::mkdtemp(base_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  fs::create_directories(Documents());
  fs::create_directories(Config());
  std::vector<platform::StorageCard> cards;
  for (std::u16string& name : cardNames) {
    fs::create_directories(Card(name));
    cards.push_back({name, Card(name)});
  }
  platform::DevicePaths::SetDocumentsRoot(Documents());
  platform::DevicePaths::SetConfigRoot(Config());
  platform::DevicePaths::SetStorageCards(std::move(cards));
}

TempRoots::~TempRoots() {
  platform::DevicePaths::ResetToDefaults();
  std::error_code ignored;
  fs::remove_all(base_, ignored);
}

std::string TempRoots::Card(const std::u16string& name) const { return base_ + "/cards/" + platform::ToUtf8(name); }

void TempRoots::RemoveConfig() const { fs::remove_all(Config()); }

std::string ReadHostFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteHostFile(const std::string& hostPath, const std::string& content) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out << content << std::flush);
}

std::vector<std::string> OpenFilesUnder(const std::string& base) {
  std::vector<std::string> open;
  std::error_code error;
  for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd", error)) {
    const fs::path target = fs::read_symlink(fd.path(), error);
    if (!error && target.string().rfind(base, 0) == 0) open.push_back(target.string());
  }
  return open;
}

bool UnderFileSizeLimit(uint64_t bytes, const std::function<bool()>& body) {
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = bytes;
  auto* handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const bool result = body();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
  return result;
}

}  // namespace testsupport
