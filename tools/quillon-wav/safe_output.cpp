#include "safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "cli.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace quillonwav {

namespace {

namespace fs = std::filesystem;

// The temporary file a signal handler removes: a fixed buffer, as the
// handler may only call async-signal-safe functions.
char g_pendingPath[4096];

extern "C" void RemovePendingAndDie(int signal) {
  if (g_pendingPath[0] != '\0') ::unlink(g_pendingPath);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// The first character goes in last, so that the handler never sees half a name.
void SetPending(const std::string& path) {
  if (path.empty() || path.size() >= sizeof g_pendingPath) return;
  g_pendingPath[0] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(g_pendingPath + 1, path.data() + 1, path.size() - 1);
  g_pendingPath[path.size()] = '\0';
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_pendingPath[0] = path[0];
}

// Prints the system's text for error; returns false.
bool Refuse(const std::string& name, int error) {
  platform::SetLastError(error);
  FailWithLastError(name);
  return false;
}

}  // namespace

SafeOutput::SafeOutput(std::string name) : name_(std::move(name)) {}

SafeOutput::~SafeOutput() {
  if (direct_ || committed_ || writePath_.empty()) return;
  ::unlink(writePath_.c_str());
  if (g_pendingPath[0] != '\0' && writePath_ == g_pendingPath) g_pendingPath[0] = '\0';
}

bool SafeOutput::Prepare(const std::vector<std::string>& inputs, bool regularOnly) {
  const std::string given = platform::ToUtf8(EnginePath(name_));
  // A link is followed: what the user named is the file it leads to.
  std::error_code error;
  target_ = fs::weakly_canonical(given, error).string();
  if (error || target_.empty()) target_ = given;

  struct stat out {};
  const bool exists = ::stat(target_.c_str(), &out) == 0;
  if (exists) {
    for (const std::string& input : inputs) {
      struct stat in {};
      if (::stat(platform::ToUtf8(EnginePath(input)).c_str(), &in) == 0 && in.st_dev == out.st_dev &&
          in.st_ino == out.st_ino) {
        Fail(name_, "the output is the input file " + input + "; nothing was written. Choose another output.");
        return false;
      }
    }
    if (S_ISDIR(out.st_mode)) return Refuse(name_, EISDIR);
    if (!S_ISREG(out.st_mode)) {
      if (regularOnly) {
        Fail(name_, "not a regular file; a WAV file is written to a regular file only.");
        return false;
      }
      direct_ = true;
      writePath_ = target_;
      return true;
    }
  }

  const fs::path place(target_);
  std::string temp = (place.parent_path() / ("." + place.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Refuse(name_, errno);
  // The mode a new file gets, or the one of the file it replaces.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, exists ? (out.st_mode & 07777) : (0666 & ~mask));
  ::close(fd);
  writePath_ = temp;
  return true;
}

void SafeOutput::RemoveOnSignal() {
  if (direct_ || writePath_.empty()) return;
  SetPending(writePath_);
  struct sigaction action {};
  action.sa_handler = RemovePendingAndDie;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool SafeOutput::Open(platform::File* file) {
  if (!direct_) {
    if (file->OpenHost(writePath_, platform::FileAccess::Write)) return true;
    FailWithLastError(name_);
    return false;
  }
  // A FIFO waits here for its reader, as the user asked.
  int fd;
  do {
    fd = ::open(writePath_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Refuse(name_, errno);
  file->Adopt(fd);
  return true;
}

bool SafeOutput::Commit() {
  if (direct_) return true;
  // On the disk before it takes the old file's place.
  const int fd = ::open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  const int syncError = errno;
  if (fd >= 0) ::close(fd);
  if (!synced) return Refuse(name_, syncError);
  if (::rename(writePath_.c_str(), target_.c_str()) != 0) return Refuse(name_, errno);
  committed_ = true;
  if (writePath_ == g_pendingPath) g_pendingPath[0] = '\0';
  return true;
}

}  // namespace quillonwav
