#include "audio/time_stretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/playback_speed.h"
#include "audio/sample_convert.h"
#include "audio/wave_io_internal.h"

namespace audio {

using RubberBand::RubberBandStretcher;

namespace {

// Real time, one thread (the caller's). Playback uses the faster engine with
// its default (crisp) settings: on speech from 0.5x to 2x it keeps the voice
// clear, and it costs about 0.4 % of a core at 8000 Hz. The finer engine,
// even with its short window, costs 1 % more, which in the real program
// broke the goal of 3 % of a core at 0.75x (see the README's figures).
constexpr RubberBandStretcher::Options kCommon = RubberBandStretcher::OptionProcessRealTime |
                                                 RubberBandStretcher::OptionThreadingNever |
                                                 RubberBandStretcher::OptionChannelsTogether;
constexpr RubberBandStretcher::Options kFiner =
    kCommon | RubberBandStretcher::OptionEngineFiner | RubberBandStretcher::OptionWindowShort;
constexpr RubberBandStretcher::Options kFaster = kCommon | RubberBandStretcher::OptionEngineFaster;

bool Stretchable(const WaveFormatEx& format) {
  const uint32_t width = format.Channels != 0 ? format.BlockAlign / format.Channels : 0;
  return format.FormatTag == kWaveFormatPcm && (format.Channels == 1 || format.Channels == 2) && width >= 1 &&
         width <= 4 && format.BlockAlign == format.Channels * width && format.SamplesPerSec > 0;
}

}  // namespace

std::unique_ptr<TimeStretch> TimeStretch::Create(const WaveFormatEx& format, Engine engine) {
  if (!Stretchable(format)) return nullptr;
  try {
    auto stretcher = std::make_unique<RubberBandStretcher>(format.SamplesPerSec, format.Channels,
                                                           engine == Engine::Finer ? kFiner : kFaster);
    stretcher->setMaxProcessSize(kMaxBlockFrames);
    std::unique_ptr<TimeStretch> stretch(new TimeStretch(format, std::move(stretcher)));
    if (stretch == nullptr) return nullptr;  // tracked: null when memory runs out
    stretch->Reset();
    return stretch;
  } catch (const std::exception&) {
    return nullptr;
  }
}

TimeStretch::TimeStretch(const WaveFormatEx& format, std::unique_ptr<RubberBandStretcher> stretcher)
    : format_(format),
      channels_(format.Channels),
      width_(SampleWidth(format)),
      stretcher_(std::move(stretcher)),
      planar_(static_cast<size_t>(kMaxBlockFrames) * format.Channels),
      channelPointers_(format.Channels),
      interleaved_(static_cast<size_t>(kMaxBlockFrames) * format.Channels),
      bytes_(static_cast<size_t>(kMaxBlockFrames) * format.BlockAlign) {
  for (uint32_t c = 0; c < channels_; ++c) channelPointers_[c] = planar_.data() + c * kMaxBlockFrames;
  interleaved_.clear();
  bytes_.clear();
}

TimeStretch::~TimeStretch() = default;

void TimeStretch::SetSpeed(uint32_t percent) {
  if (percent == 0 || percent == speed_) return;
  speed_ = percent;
  ApplyRatio();
}

void TimeStretch::ApplyRatio() {
  // The ratio is output length over input length: half the speed, twice as long.
  const double ratio = static_cast<double>(kNormalSpeed) / speed_;
  if (ratio == ratio_) return;
  ratio_ = ratio;
  stretcher_->setTimeRatio(ratio_);
}

void TimeStretch::Reset() {
  stretcher_->reset();
  stretcher_->setTimeRatio(ratio_);
  fresh_ = true;
  finished_ = false;
  drained_ = false;
  skip_ = 0;
  owed_ = 0;
  handedOut_ = 0;
}

void TimeStretch::Feed(const float* interleaved, uint32_t frames) {
  for (uint32_t c = 0; c < channels_; ++c) {
    float* out = channelPointers_[c];
    for (uint32_t f = 0; f < frames; ++f) out[f] = interleaved[f * channels_ + c];
  }
  stretcher_->process(channelPointers_.data(), frames, false);
  owed_ += frames * ratio_;
}

void TimeStretch::FeedSilence(size_t frames, bool last) {
  std::fill(planar_.begin(), planar_.end(), 0.0f);
  while (frames > 0) {
    const auto piece = static_cast<uint32_t>(std::min<size_t>(frames, kMaxBlockFrames));
    frames -= piece;
    stretcher_->process(channelPointers_.data(), piece, last && frames == 0);
  }
}

uint32_t TimeStretch::Ready() {
  for (;;) {
    const int available = stretcher_->available();
    if (available <= 0) return 0;
    if (skip_ == 0) return static_cast<uint32_t>(available);
    const auto take = static_cast<size_t>(std::min<int64_t>({available, skip_, kMaxBlockFrames}));
    stretcher_->retrieve(channelPointers_.data(), take);
    skip_ -= static_cast<uint32_t>(take);
  }
}

uint64_t TimeStretch::Owed() const {
  const auto owed = static_cast<uint64_t>(std::llround(owed_));
  return owed > handedOut_ ? owed - handedOut_ : 0;
}

uint8_t* TimeStretch::Read(IAudioStream* stream, uint32_t* size) {
  const uint32_t wanted = std::min(*size / format_.BlockAlign, kMaxBlockFrames);
  if (stream == nullptr || wanted == 0 || drained_) return nullptr;
  if (fresh_) {
    // Silence before the first samples and as much output dropped: the
    // stretcher then starts in step with the stream, nothing cut or delayed.
    fresh_ = false;
    FeedSilence(stretcher_->getPreferredStartPad(), false);
    skip_ = static_cast<uint32_t>(stretcher_->getStartDelay());
  }
  while (!finished_ && Ready() < wanted) {
    uint32_t inSize = kDeviceBlockBytes;
    uint8_t* in = stream->Read(&inSize, kReadForward);
    const bool end = wave_io_detail::ForwardDataExhausted(stream);
    if (in == nullptr && !end) return nullptr;  // the stream failed: the caller says why
    ToFloat(in, in != nullptr ? inSize : 0, format_, &interleaved_);
    diag::TrackedDelete(in);
    Feed(interleaved_.data(), static_cast<uint32_t>(interleaved_.size() / channels_));
    // Silence after the end pushes the last samples out of the stretcher's
    // window; what comes out beyond what is owed is dropped.
    if (end) FeedSilence(stretcher_->getPreferredStartPad() + kMaxBlockFrames, true);
    finished_ = end;
  }
  uint32_t frames = std::min(Ready(), wanted);
  if (finished_) frames = static_cast<uint32_t>(std::min<uint64_t>(frames, Owed()));
  if (frames == 0) {
    drained_ = finished_;
    return nullptr;
  }
  stretcher_->retrieve(channelPointers_.data(), frames);
  interleaved_.resize(static_cast<size_t>(frames) * channels_);
  for (uint32_t c = 0; c < channels_; ++c) {
    const float* in = channelPointers_[c];
    for (uint32_t f = 0; f < frames; ++f) interleaved_[f * channels_ + c] = in[f];
  }
  bytes_.clear();
  AppendFromFloat(interleaved_, width_, &bytes_);
  auto* block = static_cast<uint8_t*>(diag::TrackedNew(bytes_.size()));
  if (block == nullptr) return nullptr;
  std::memcpy(block, bytes_.data(), bytes_.size());
  *size = static_cast<uint32_t>(bytes_.size());
  handedOut_ += frames;
  // Told at once, so that the end is known when this block comes back.
  if (finished_ && (Owed() == 0 || stretcher_->available() < 0)) drained_ = true;
  return block;
}

}  // namespace audio
