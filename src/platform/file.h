#pragma once
// Files addressed by device paths ("\My Documents\Quillon\Recording00.wav").
// Every failing call sets the thread's last error (errno values).
//
// Only regular files open: the check is made on the opened descriptor, and
// the open itself does not wait, so a FIFO, a device or a socket under a
// file's name can neither hang the program nor be taken for a file. A
// symbolic link to a regular file still opens for reading; nothing is ever
// written through a link.

#include <cerrno>
#include <cstdint>
#include <string>

namespace platform {

enum class FileAccess {
  Read,          // existing file, read only, others may read
  Write,         // create always (truncate), write only, no sharing; not through a link
  ReadWrite,     // existing file, read and write; not through a link
  CreateNew,     // fails with EEXIST when anything has the name, a link included
};

// The error of opening something that is not a regular file (a FIFO, a
// device, a socket); a folder gives EISDIR.
inline constexpr int kNotRegularFileError = ENODEV;

enum class SeekOrigin { Begin, Current, End };

// Movable owner of an open file; closes on destruction.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(const std::u16string& devicePath, FileAccess access);
  bool OpenHost(const std::string& hostPath, FileAccess access);
  // Takes over a descriptor opened elsewhere (a pipe, a terminal), closing
  // any file held before.
  void Adopt(int fd);
  void Close();
  bool IsValid() const { return fd_ >= 0; }

  // Reads up to size bytes; *done receives the count (0 at end of file).
  bool Read(void* data, uint32_t size, uint32_t* done);
  bool Write(const void* data, uint32_t size, uint32_t* done);
  // Writes at offset without moving the file pointer.
  bool WriteAt(int64_t offset, const void* data, uint32_t size, uint32_t* done);
  // Moves the file pointer; *newPos (optional) receives the new offset.
  bool Seek(int64_t offset, SeekOrigin origin, int64_t* newPos = nullptr);
  bool Size(int64_t* size) const;
  bool Flush();
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

// File attribute bits, as the program tests them.
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// kInvalidAttributes (last error set) when the path does not exist.
uint32_t GetFileAttributes(const std::u16string& devicePath);
// Whether anything has this name, a link that leads nowhere included: a new
// file is only made where this is false.
bool NameTaken(const std::u16string& devicePath);
// Fails with EEXIST when the folder is already there.
bool CreateDirectory(const std::u16string& devicePath);
bool DeleteFile(const std::u16string& devicePath);
bool MoveFile(const std::u16string& from, const std::u16string& to);
// Puts from in the place of to in one step, replacing it (both on one
// volume): readers see the old file or the new, never a part.
bool ReplaceFile(const std::u16string& from, const std::u16string& to);
// Free bytes available to the user on the volume holding the path.
bool GetDiskFreeSpace(const std::u16string& devicePath, uint64_t* freeBytes);

}  // namespace platform
