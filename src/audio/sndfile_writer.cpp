#include "audio/sndfile_writer.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace audio {
namespace {

// MP3: lame's variable bit rate at quality 5 (-V5), plenty for a voice.
constexpr double kMp3Compression = 0.5;

// libsndfile's level for a bit rate: 0 gives 256 kbit/s per channel, 1
// gives 6 kbit/s, linearly between.
double OpusCompressionFor(uint32_t bitRate) { return (256000.0 - bitRate) / 250000.0; }

}  // namespace

SndfileWriter::~SndfileWriter() {
  if (file_ != nullptr) sf_close(file_);
}

bool SndfileWriter::Failed(const char* fallback) {
  if (io_.error == 0 && message_.empty()) message_ = fallback;
  return false;
}

bool SndfileWriter::Open(int fd, ExportFormat format, uint32_t rate, uint32_t channels,
                         const std::string& title, const std::string& date) {
  io_ = Io{fd, 0};
  message_.clear();
  // Plain system calls on the descriptor; the first failure is kept with its errno.
  static SF_VIRTUAL_IO io = {
      [](void* user) -> sf_count_t {
        auto* state = static_cast<Io*>(user);
        struct stat info {};
        if (::fstat(state->fd, &info) == 0) return info.st_size;
        if (state->error == 0) state->error = errno;
        return -1;
      },
      [](sf_count_t offset, int whence, void* user) -> sf_count_t {
        auto* state = static_cast<Io*>(user);
        const off_t at = ::lseek(state->fd, offset, whence);
        if (at < 0 && state->error == 0) state->error = errno;
        return at;
      },
      [](void* data, sf_count_t count, void* user) -> sf_count_t {
        auto* state = static_cast<Io*>(user);
        sf_count_t done = 0;
        while (done < count) {
          const ssize_t n =
              ::read(state->fd, static_cast<char*>(data) + done, static_cast<size_t>(count - done));
          if (n < 0 && errno == EINTR) continue;
          if (n < 0 && state->error == 0) state->error = errno;
          if (n <= 0) break;
          done += n;
        }
        return done;
      },
      [](const void* data, sf_count_t count, void* user) -> sf_count_t {
        auto* state = static_cast<Io*>(user);
        sf_count_t done = 0;
        while (done < count) {
          const ssize_t n =
              ::write(state->fd, static_cast<const char*>(data) + done, static_cast<size_t>(count - done));
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) {
            // A disk that takes nothing more is full, whether it says so or not.
            if (state->error == 0) state->error = n < 0 ? errno : ENOSPC;
            break;
          }
          done += n;
        }
        return done;
      },
      [](void* user) -> sf_count_t {
        auto* state = static_cast<Io*>(user);
        const off_t at = ::lseek(state->fd, 0, SEEK_CUR);
        if (at < 0 && state->error == 0) state->error = errno;
        return at;
      },
  };

  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(channels);
  info.format = ExportFormatInfoFor(format).SndfileFormat;
  file_ = sf_open_virtual(&io, SFM_WRITE, &info, &io_);
  if (file_ == nullptr) {
    if (io_.error == 0) message_ = sf_strerror(nullptr);
    return false;
  }
  // The tags go in before the first sample: Ogg, FLAC and MP3 write them first.
  if (!title.empty()) sf_set_string(file_, SF_STR_TITLE, title.c_str());
  if (!date.empty()) sf_set_string(file_, SF_STR_DATE, date.c_str());
  if (format == ExportFormat::Opus) {
    double level = OpusCompressionFor(OpusSpeechBitRate(rate));
    sf_command(file_, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
  } else if (format == ExportFormat::Mp3) {
    int mode = SF_BITRATE_MODE_VARIABLE;
    sf_command(file_, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    double level = kMp3Compression;
    sf_command(file_, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
  }
  return io_.error == 0 || Failed("the file cannot be written");
}

bool SndfileWriter::Write(const int16_t* samples, uint64_t frames) {
  if (file_ == nullptr) return false;
  const sf_count_t written = sf_writef_short(file_, samples, static_cast<sf_count_t>(frames));
  if (io_.error != 0) return false;
  if (written != static_cast<sf_count_t>(frames) || sf_error(file_) != SF_ERR_NO_ERROR) {
    return Failed(sf_strerror(file_));
  }
  return true;
}

bool SndfileWriter::Close() {
  if (file_ == nullptr) return false;
  const int result = sf_close(file_);
  file_ = nullptr;
  if (io_.error != 0) return false;
  return result == 0 || Failed(sf_error_number(result));
}

}  // namespace audio
