#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <utility>

#include "platform/device_paths.h"
#include "platform/last_error.h"

namespace platform {

namespace {

// The host path behind a device path; ENOENT for a path outside every root.
std::optional<std::string> HostPath(const std::u16string& devicePath) {
  std::optional<std::string> host = DevicePaths::ToHost(devicePath);
  if (!host) SetLastError(ENOENT);
  return host;
}

bool CreatesFile(FileAccess access) { return access == FileAccess::Write || access == FileAccess::CreateNew; }

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

// The documents and program roots are made on the way when missing, so the
// first recording or the first save on a fresh machine succeeds.
bool File::Open(const std::u16string& devicePath, FileAccess access) {
  Close();
  const std::optional<std::string> host = HostPath(devicePath);
  if (!host) return false;
  if (CreatesFile(access) && !DevicePaths::CreateRootFor(devicePath)) return false;
  return OpenHost(*host, access);
}

bool File::OpenHost(const std::string& hostPath, FileAccess access) {
  Close();
  // Non-blocking only for the open: a FIFO would otherwise wait there for a
  // writer (or reader) that never comes.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
    case FileAccess::ReadWrite: flags |= O_RDWR | O_NOFOLLOW; break;
    case FileAccess::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  int fd;
  do {
    fd = ::open(hostPath.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastErrorFromErrno();
    return false;
  }
  // Judged by what was opened, not by the name, which may change meanwhile.
  struct stat info;
  int error = 0;
  if (::fstat(fd, &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;  // a folder opens for reading on Linux; as a file it must not
  } else if (!S_ISREG(info.st_mode)) {
    error = kNotRegularFileError;
  } else {
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) error = errno;
  }
  if (error != 0) {
    ::close(fd);
    SetLastError(error);
    return false;
  }
  fd_ = fd;
  return true;
}

void File::Adopt(int fd) {
  Close();
  fd_ = fd;
}

void File::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool File::Read(void* data, uint32_t size, uint32_t* done) {
  if (done != nullptr) *done = 0;
  if (fd_ < 0) {
    SetLastError(EBADF);
    return false;
  }
  auto* bytes = static_cast<unsigned char*>(data);
  uint32_t total = 0;
  while (total < size) {
    const ssize_t n = ::read(fd_, bytes + total, size - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno();
      if (done != nullptr) *done = total;
      return false;
    }
    if (n == 0) break;  // end of file
    total += static_cast<uint32_t>(n);
  }
  if (done != nullptr) *done = total;
  return true;
}

namespace {

// Writes all of data, retrying interrupted calls; `once` writes what it can
// of the bytes from `total` on and returns what the system call returned.
template <typename Once>
bool WriteFully(int fd, const void* data, uint32_t size, uint32_t* done, Once once) {
  if (done != nullptr) *done = 0;
  if (fd < 0) {
    SetLastError(EBADF);
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint32_t total = 0;
  while (total < size) {
    const ssize_t n = once(bytes + total, size - total, total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno();
      if (done != nullptr) *done = total;
      return false;
    }
    total += static_cast<uint32_t>(n);
  }
  if (done != nullptr) *done = total;
  return true;
}

}  // namespace

bool File::Write(const void* data, uint32_t size, uint32_t* done) {
  return WriteFully(fd_, data, size, done,
                    [fd = fd_](const unsigned char* at, uint32_t left, uint32_t) { return ::write(fd, at, left); });
}

bool File::WriteAt(int64_t offset, const void* data, uint32_t size, uint32_t* done) {
  return WriteFully(fd_, data, size, done, [fd = fd_, offset](const unsigned char* at, uint32_t left, uint32_t total) {
    return ::pwrite(fd, at, left, static_cast<off_t>(offset + total));
  });
}

bool File::Seek(int64_t offset, SeekOrigin origin, int64_t* newPos) {
  if (fd_ < 0) {
    SetLastError(EBADF);
    return false;
  }
  int whence = SEEK_SET;
  if (origin == SeekOrigin::Current) whence = SEEK_CUR;
  if (origin == SeekOrigin::End) whence = SEEK_END;
  const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (pos < 0) {
    SetLastErrorFromErrno();
    return false;
  }
  if (newPos != nullptr) *newPos = pos;
  return true;
}

bool File::Size(int64_t* size) const {
  struct stat info;
  if (fd_ < 0) {
    SetLastError(EBADF);
    return false;
  }
  if (::fstat(fd_, &info) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  *size = info.st_size;
  return true;
}

bool File::Flush() {
  if (fd_ < 0) {
    SetLastError(EBADF);
    return false;
  }
  if (::fdatasync(fd_) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  return true;
}

uint32_t GetFileAttributes(const std::u16string& devicePath) {
  const std::optional<std::string> host = HostPath(devicePath);
  if (!host) return kInvalidAttributes;
  struct stat info;
  if (::stat(host->c_str(), &info) != 0) {
    SetLastErrorFromErrno();
    return kInvalidAttributes;
  }
  return S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrNormal;
}

bool NameTaken(const std::u16string& devicePath) {
  const std::optional<std::string> host = HostPath(devicePath);
  if (!host) return false;
  // Any other failure to look (no permission) is left to the creation,
  // which then fails with its own error.
  struct stat info;
  return ::lstat(host->c_str(), &info) == 0;
}

// Creates only the last level, as the handheld does, so a missing card fails;
// the documents and program roots themselves are made when missing.
bool CreateDirectory(const std::u16string& devicePath) {
  const std::optional<std::string> host = HostPath(devicePath);
  if (!host || !DevicePaths::CreateRootFor(devicePath)) return false;
  if (::mkdir(host->c_str(), 0777) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  return true;
}

bool DeleteFile(const std::u16string& devicePath) {
  const std::optional<std::string> host = HostPath(devicePath);
  if (!host) return false;
  if (::unlink(host->c_str()) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  return true;
}

namespace {

// Moves a file to another volume: copy, then delete the original.
bool CopyAcrossVolumes(const std::string& from, const std::string& to) {
  File source;
  File target;
  if (!source.OpenHost(from, FileAccess::Read) || !target.OpenHost(to, FileAccess::CreateNew)) return false;
  unsigned char buffer[64 * 1024];
  for (;;) {
    uint32_t got = 0;
    uint32_t put = 0;
    if (!source.Read(buffer, sizeof buffer, &got) || (got > 0 && !target.Write(buffer, got, &put)) ||
        (got == 0 && !target.Flush())) {
      const int error = GetLastError();
      target.Close();
      ::unlink(to.c_str());
      SetLastError(error);
      return false;
    }
    if (got == 0) break;
  }
  target.Close();
  source.Close();
  if (::unlink(from.c_str()) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  return true;
}

}  // namespace

// Never replaces an existing target (EEXIST), like the handheld's move.
bool MoveFile(const std::u16string& from, const std::u16string& to) {
  const std::optional<std::string> source = HostPath(from);
  if (!source) return false;
  const std::optional<std::string> target = HostPath(to);
  if (!target) return false;
  if (::renameat2(AT_FDCWD, source->c_str(), AT_FDCWD, target->c_str(), RENAME_NOREPLACE) == 0) return true;
  int error = errno;
  if (error == EINVAL) {
    // The file system cannot refuse to replace by itself.
    struct stat info;
    if (::lstat(target->c_str(), &info) == 0) {
      SetLastError(EEXIST);
      return false;
    }
    if (::rename(source->c_str(), target->c_str()) == 0) return true;
    error = errno;
  }
  if (error == EXDEV) {
    struct stat info;
    if (::stat(source->c_str(), &info) == 0 && S_ISREG(info.st_mode)) return CopyAcrossVolumes(*source, *target);
  }
  SetLastError(error);
  return false;
}

bool ReplaceFile(const std::u16string& from, const std::u16string& to) {
  const std::optional<std::string> source = HostPath(from);
  if (!source) return false;
  const std::optional<std::string> target = HostPath(to);
  if (!target) return false;
  if (::rename(source->c_str(), target->c_str()) == 0) return true;
  SetLastErrorFromErrno();
  return false;
}

bool GetDiskFreeSpace(const std::u16string& devicePath, uint64_t* freeBytes) {
  const std::optional<std::string> host = HostPath(devicePath);
  if (!host) return false;
  struct statvfs info;
  if (::statvfs(host->c_str(), &info) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  *freeBytes = static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
  return true;
}

}  // namespace platform
