#include "audio/export_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <optional>
#include <random>
#include <vector>

#include "audio/sample_convert.h"
#include "audio/sndfile_writer.h"
#include "audio/wave_file_stream.h"
#include "audio/wave_io_internal.h"
#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace audio {
namespace {

// Device bytes read per step: 2 s of 8000 Hz 16-bit audio. GSM streams
// give one 640-byte block per read; progress is told once per step either way.
constexpr uint32_t kStepBytes = 100 * kDeviceBlockBytes;
// Frames handed to libsndfile at a time. Few large writes, not one per GSM
// block: libsndfile's Opus coder sets the coder's sample depth afresh in
// each write that spans packets, and every such call costs libopus a look at
// the processor (cpuid, dear under virtualisation): a sixth of the time with
// 640-byte writes.
constexpr size_t kWriteFrames = 16384;

ExportResult Cancelled() {
  ExportResult result;
  result.Outcome = ExportOutcome::Cancelled;
  result.Message = kExportCancelled;
  return result;
}

ExportResult Failure(const char16_t* message, int error = 0) {
  ExportResult result;
  result.Outcome = ExportOutcome::Failed;
  result.Message = message;
  result.Error = error;
  return result;
}

std::optional<std::string> HostPathOf(const std::u16string& path) {
  if (!path.empty() && path[0] == u'/') return platform::ToUtf8(path);
  return platform::DevicePaths::ToHost(path);
}

// "Recording00" for ".../Recording00.wav", either kind of separator.
std::string NameOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/");
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) name.resize(dot);
  return platform::ToUtf8(name);
}

std::string DayOf(time_t when) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) return {};
  char text[16];
  return std::strftime(text, sizeof text, "%Y-%m-%d", &local) != 0 ? std::string(text) : std::string();
}

// The temporary file beside the target, removed unless it was put in place;
// or the target itself, for a caller that writes through a temporary file
// of its own.
class TempFile {
 public:
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  // A new hidden file in the target's folder, made by this call alone.
  bool Create(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string("./") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string path = folder + "." + name + "." + std::to_string(random() % 1000000) + ".part";
      // 0666 less the user's umask: the file others may read as they may a copy.
      fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) {
        path_ = path;
        return true;
      }
      if (errno != EEXIST) break;
    }
    error_ = errno;
    return false;
  }
  // The target itself, created or emptied; left to the caller on failure.
  bool CreateDirect(const std::string& target) {
    direct_ = true;
    fd_ = ::open(target.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    error_ = fd_ < 0 ? errno : 0;
    return fd_ >= 0;
  }
  // Written through to the disk and renamed onto the target in one step.
  bool Commit(const std::string& target) {
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
      error_ = errno;
      fd_ = -1;
      return false;
    }
    fd_ = -1;
    if (direct_) return true;
    if (::rename(path_.c_str(), target.c_str()) != 0) {
      error_ = errno;
      return false;
    }
    path_.clear();
    return true;
  }
  int Fd() const { return fd_; }
  int Error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
  bool direct_ = false;
  std::string path_;
};

// Frames of the recording at its device format, for the progress.
uint64_t TotalFrames(WaveFileStream& stream) {
  if (stream.IsGsm()) return static_cast<uint64_t>(stream.GetDataBytes() / kGsmPairBytes) * 320;
  return stream.GetLengthFrames();
}

}  // namespace

ExportResult ExportRecording(const ExportRequest& request, const ExportProgress& progress) {
  WaveFileStream stream;
  platform::SetLastError(0);
  if (!stream.Open(request.Source, kStreamRead)) {
    const int error = platform::GetLastError();
    return error != 0 ? Failure(u"The recording cannot be opened.", error) : Failure(u"Wrong file format.");
  }
  const WaveFormatEx source = *stream.GetFormat();
  const std::optional<std::string> sourceHost = HostPathOf(request.Source);
  struct stat sourceInfo {};
  const bool sourceKnown = sourceHost && ::stat(sourceHost->c_str(), &sourceInfo) == 0;

  // Writing over the recording would lose it once the rename lands.
  struct stat targetInfo {};
  if (::stat(request.Target.c_str(), &targetInfo) == 0) {
    if (S_ISDIR(targetInfo.st_mode)) return Failure(u"The file cannot be created.", EISDIR);
    if (sourceKnown && targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino) {
      return Failure(u"A recording cannot be exported onto itself. Choose another name.");
    }
  }

  // Recordings are mono; a file of more channels than two is mixed to one.
  const uint32_t inChannels = std::max<uint32_t>(source.Channels, 1);
  const uint32_t channels = inChannels <= 2 ? inChannels : 1;
  const uint32_t rate = ExportRate(request.Format, source.SamplesPerSec);
  if (!CanExport(request.Format, rate, channels)) {
    return Failure(platform::FromUtf8("libsndfile cannot write " +
                                      platform::ToUtf8(ExportFormatInfoFor(request.Format).Name) + " at " +
                                      std::to_string(rate) + " Hz with " + std::to_string(channels) +
                                      " channels.")
                       .c_str());
  }

  const std::string title = !request.Title.empty() ? request.Title : NameOf(request.Source);
  const std::string date = !request.Date.empty() ? request.Date
                           : sourceKnown         ? DayOf(sourceInfo.st_mtime)
                                                 : "";

  TempFile temp;
  if (!(request.Direct ? temp.CreateDirect(request.Target) : temp.Create(request.Target))) {
    return Failure(u"The file cannot be created.", temp.Error());
  }
  SndfileWriter writer;
  if (!writer.Open(temp.Fd(), request.Format, rate, channels, title, date)) {
    if (writer.Error() != 0) return Failure(u"The file cannot be written.", writer.Error());
    return Failure(platform::FromUtf8("The file cannot be written: " + writer.Message() + ".").c_str());
  }
  const auto writeFailure = [&writer] {
    if (writer.Error() != 0) return Failure(u"The file cannot be written.", writer.Error());
    return Failure(platform::FromUtf8("The file cannot be written: " + writer.Message() + ".").c_str());
  };

  PcmTo16 converter(source, rate, channels);
  std::vector<int16_t> pending;  // converted, not yet written
  pending.reserve(2 * kWriteFrames * channels);
  std::string convertError;
  const uint64_t total = TotalFrames(stream);
  uint64_t done = 0, written = 0;
  uint32_t sinceProgress = kStepBytes;  // the first step is told at once
  for (bool last = false; !last;) {
    if (sinceProgress >= kStepBytes) {
      sinceProgress = 0;
      if (progress && !progress(done, total)) return Cancelled();
    }
    uint32_t size = stream.IsGsm() ? kDeviceBlockBytes : kStepBytes - kStepBytes % source.BlockAlign;
    platform::SetLastError(0);
    uint8_t* block = stream.Read(&size, kReadForward);
    last = wave_io_detail::ForwardDataExhausted(&stream);
    if (block == nullptr && !last) {
      const int error = platform::GetLastError();
      return Failure(u"The recording cannot be read to its end.", error != 0 ? error : EIO);
    }
    if (block == nullptr) size = 0;
    const bool converted = converter.Append(block, size, last, &pending, &convertError);
    diag::TrackedDelete(block);
    if (!converted)
      return Failure(platform::FromUtf8("The rate cannot be converted: " + convertError + ".").c_str());
    done += size / source.BlockAlign;
    sinceProgress += size;
    const uint64_t frames = pending.size() / channels;
    if (frames != 0 && (frames >= kWriteFrames || last)) {
      if (!writer.Write(pending.data(), frames)) return writeFailure();
      written += frames;
      pending.clear();
    }
  }
  if (!writer.Close()) return writeFailure();
  if (progress && !progress(total, total)) return Cancelled();
  if (!temp.Commit(request.Target)) return Failure(u"The file cannot be put in place.", temp.Error());

  ExportResult result;
  result.Outcome = ExportOutcome::Done;
  result.Rate = rate;
  result.Channels = channels;
  result.Frames = written;
  return result;
}

}  // namespace audio
