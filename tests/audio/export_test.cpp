// The export, read back by two readers that are not ours: libsndfile and
// ffprobe (ffmpeg's own decoders). Every format at the rate it needs, with
// the recording's tags; Opus of speech close to its source by a measure a
// broken coder or rate conversion cannot meet; and no file at all from an
// export that was cancelled or failed, with the recording untouched.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "audio/export_job.h"
#include "audio/format_presets.h"
#include "audio/sample_convert.h"
#include "signal_measure.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using namespace audiotest;

struct Decoded {
  SF_INFO info{};
  std::vector<float> samples;  // interleaved
  std::string title, date;
};

Decoded ReadBack(const std::string& path) {
  Decoded d;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &d.info);
  EXPECT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
  if (f == nullptr) return d;
  std::vector<float> block(4096 * static_cast<size_t>(d.info.channels));
  for (sf_count_t n; (n = sf_readf_float(f, block.data(), 4096)) > 0;)
    d.samples.insert(d.samples.end(), block.begin(), block.begin() + n * d.info.channels);
  if (const char* t = sf_get_string(f, SF_STR_TITLE)) d.title = t;
  if (const char* t = sf_get_string(f, SF_STR_DATE)) d.date = t;
  sf_close(f);
  return d;
}

// ffprobe's "key=value" lines for the first audio stream, the container and their tags.
std::map<std::string, std::string> Probe(const std::string& path) {
  const std::string command =
      "ffprobe -v error -select_streams a:0 -show_entries "
      "stream=codec_name,sample_rate,channels,start_time,duration:stream_tags:format_tags "
      "-of default=noprint_wrappers=1 '" +
      path + "' 2>&1";
  std::map<std::string, std::string> out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t eq = text.find('=');
    if (eq == std::string::npos) continue;
    std::string key = text.substr(0, eq);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    out[key] = text.substr(eq + 1);
  }
  return out;
}

std::vector<float> Mono(const Decoded& d) {
  std::vector<float> out(d.samples.size() / std::max(d.info.channels, 1));
  for (size_t i = 0; i < out.size(); ++i) out[i] = d.samples[i * d.info.channels];
  return out;
}

class ExportTest : public ::testing::Test {
 protected:
  std::string Source(const std::string& name, uint32_t formatId, const std::vector<int16_t>& samples) {
    return Recorded(name, formatId, AsBytes(samples));
  }
  std::string Recorded(const std::string& name, uint32_t formatId, const Bytes& bytes) {
    EXPECT_TRUE(Record(dir_.File(name), formatId, bytes));
    return dir_.File(name);
  }
  ExportResult Export(const std::string& source, const std::string& target, ExportFormat format,
                      const ExportProgress& progress = {}) {
    ExportRequest request;
    request.Source = HostPath(source);
    request.Target = target;
    request.Format = format;
    return ExportRecording(request, progress);
  }
  // Every entry of the folder: a failed export must leave no temporary file either.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Base()))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  TempDir dir_;
};

TEST(ExportFormats, EveryFormatIsWrittenAtTheRatesItNeeds) {
  for (const ExportFormatInfo& info : ExportFormats()) {
    SCOPED_TRACE(info.Key);
    for (uint32_t rate : {8000u, 11025u, 22050u, 44100u}) {
      EXPECT_TRUE(CanExport(info.Format, ExportRate(info.Format, rate), 1)) << rate;
      EXPECT_TRUE(CanExport(info.Format, ExportRate(info.Format, rate), 2)) << rate;
    }
    EXPECT_EQ(ExportFormatForPath(std::string("/a.b/Talk") + info.Extension), info.Format);
  }
  EXPECT_EQ(ExportFormats().front().Format, ExportFormat::Opus) << "the default comes first";
  for (auto [format, from, to] : {std::tuple{ExportFormat::Opus, 8000u, 8000u},
                                  {ExportFormat::Opus, 11025u, 12000u},
                                  {ExportFormat::Opus, 22050u, 24000u},
                                  {ExportFormat::Opus, 44100u, 48000u},
                                  {ExportFormat::Opus, 96000u, 48000u},
                                  {ExportFormat::Mp3, 11025u, 11025u},
                                  {ExportFormat::Mp3, 7000u, 8000u},
                                  {ExportFormat::Flac, 7000u, 7000u}}) {
    EXPECT_EQ(ExportRate(format, from), to) << from;
  }
  EXPECT_EQ(ExportFormatForPath("/x/Talk.OGG"), ExportFormat::Opus);
  EXPECT_EQ(ExportFormatForPath("/x.mp3/Talk"), std::nullopt);
  EXPECT_EQ(ExportFormatByKey("Flac"), ExportFormat::Flac);
}

// Each format from each kind of recording, read back by libsndfile and by
// ffprobe: rate, channels, length within one codec frame, the tags. The
// lossless ones hold exactly the recording's samples.
TEST_F(ExportTest, EveryFormatReadsBackInLibsndfileAndFfprobe) {
  const std::vector<int16_t> voice8 = Voice(3.0, 8000), voice22 = Voice(2.5, 22050);
  std::vector<int16_t> stereo;
  for (int16_t s : Voice(2.0, 44100)) stereo.insert(stereo.end(), {s, static_cast<int16_t>(-s / 2)});
  const std::map<std::string, std::string> sources = {
      {"gsm", Source("Talk.wav", kFormatGsm610, voice8)},
      {"pcm11k8", Recorded("Eleven.wav", kFormatPcm11k8,
                           [] {
                             Bytes b;
                             for (int16_t s : Voice(2.0, 11025))
                               b.push_back(static_cast<uint8_t>((s >> 8) + 128));
                             return b;
                           }())},
      {"pcm22k", Source("Wide.wav", kFormatPcm22k16, voice22)},
  };
  WriteBytes(dir_.File("Stereo.wav"), Riff({{"fmt ", PcmFmt(2, 44100, 16)}, {"data", AsBytes(stereo)}}));

  struct Case {
    std::string source;
    ExportFormat format;
    uint32_t rate, channels;
    double seconds;
  };
  const std::string stereoPath = dir_.File("Stereo.wav");
  const double gsmSeconds = 75 * 320 / 8000.0;  // 3 s in whole 40 ms pairs
  const std::vector<Case> cases = {
      {sources.at("gsm"), ExportFormat::Opus, 8000, 1, gsmSeconds},
      {sources.at("gsm"), ExportFormat::Flac, 8000, 1, gsmSeconds},
      {sources.at("gsm"), ExportFormat::Mp3, 8000, 1, gsmSeconds},
      {sources.at("gsm"), ExportFormat::Wav, 8000, 1, gsmSeconds},
      {sources.at("pcm11k8"), ExportFormat::Opus, 12000, 1, 2.0},
      {sources.at("pcm11k8"), ExportFormat::Mp3, 11025, 1, 2.0},
      {sources.at("pcm22k"), ExportFormat::Opus, 24000, 1, 2.5},
      {sources.at("pcm22k"), ExportFormat::Wav, 22050, 1, 2.5},
      {stereoPath, ExportFormat::Opus, 48000, 2, 2.0},
      {stereoPath, ExportFormat::Flac, 44100, 2, 2.0},
      {stereoPath, ExportFormat::Mp3, 44100, 2, 2.0},
  };
  for (const Case& c : cases) {
    const ExportFormatInfo& info = ExportFormatInfoFor(c.format);
    const std::string name = std::filesystem::path(c.source).stem().string();
    SCOPED_TRACE(name + info.Extension);
    const std::string target = dir_.File("out/" + name + info.Extension);
    std::filesystem::create_directories(dir_.File("out"));
    const ExportResult result = Export(c.source, target, c.format);
    ASSERT_EQ(result.Outcome, ExportOutcome::Done)
        << std::string(result.Message.begin(), result.Message.end());
    EXPECT_EQ(result.Rate, c.rate);
    EXPECT_EQ(result.Channels, c.channels);

    // One codec frame: 20 ms of Opus, 1152 samples of MP3 (576 below 32 kHz)
    // with the coder's delay; the lossless ones to the sample.
    const double frame = c.format == ExportFormat::Opus  ? 0.020
                         : c.format == ExportFormat::Mp3 ? (c.rate >= 32000 ? 1152.0 : 576.0) / c.rate
                                                         : 0.5 / c.rate;
    const Decoded d = ReadBack(target);
    EXPECT_EQ(static_cast<uint32_t>(d.info.samplerate), c.rate);
    EXPECT_EQ(static_cast<uint32_t>(d.info.channels), c.channels);
    EXPECT_NEAR(static_cast<double>(d.samples.size() / c.channels) / c.rate, c.seconds, frame);
    EXPECT_EQ(d.title, name) << "libsndfile reads the title back";
    // The recording's day (YYYY-MM-DD); MP3's ID3 tag holds the year.
    EXPECT_EQ(d.date.size(), c.format == ExportFormat::Mp3 ? 4u : 10u) << d.date;

    const std::map<std::string, std::string> probe = Probe(target);
    const std::string codec = c.format == ExportFormat::Opus   ? "opus"
                              : c.format == ExportFormat::Flac ? "flac"
                              : c.format == ExportFormat::Mp3  ? "mp3"
                                                               : "pcm_s16le";
    EXPECT_EQ(probe.count("codec_name") ? probe.at("codec_name") : "", codec);
    EXPECT_EQ(probe.count("channels") ? probe.at("channels") : "", std::to_string(c.channels));
    // ffmpeg decodes Opus at 48 kHz whatever the file was coded at.
    EXPECT_EQ(probe.count("sample_rate") ? probe.at("sample_rate") : "",
              std::to_string(c.format == ExportFormat::Opus ? 48000 : c.rate));
    // From the first sample heard: MP3 starts after the coder's delay (WAV has no start time).
    ASSERT_TRUE(probe.count("duration") && probe.count("start_time"));
    const double start = probe.at("start_time") == "N/A" ? 0 : std::stod(probe.at("start_time"));
    EXPECT_NEAR(std::stod(probe.at("duration")) - start, c.seconds, frame + 0.0005);
    EXPECT_EQ(probe.count("tag:title") ? probe.at("tag:title") : "", name) << "ffprobe reads the title";

    if (c.format == ExportFormat::Flac || c.format == ExportFormat::Wav) {
      WaveFileStream stream;
      ASSERT_TRUE(stream.Open(HostPath(c.source), kStreamRead));
      const Bytes device = ReadAll(stream, kReadForward);
      std::vector<float> expected;
      ToFloat(device.data(), device.size(), *stream.GetFormat(), &expected);
      ASSERT_EQ(d.samples.size(), expected.size());
      EXPECT_EQ(d.samples, expected) << "lossless: the recording's samples, exactly";
    }
  }
}

// The measure: the correlation of the 20 ms loudness envelopes (dB) and of
// the band energies over 32 ms frames (four bands to 3.4 kHz, dB), both in
// time, so rates compare directly. Speech through Opus keeps both above 0.9
// (0.96 to 0.997 at 8, 11.025 and 22.05 kHz); the same speech 60 ms late or
// 4 % fast (a rate converted with the wrong ratio) gives at most 0.56, a
// tone in place of the speech (a coder gone wrong) about 0.
TEST_F(ExportTest, OpusOfSpeechFollowsItsSourceByEnvelopeAndBandEnergy) {
  const auto measure = [](const std::vector<float>& a, uint32_t rateA, const std::vector<float>& b,
                          uint32_t rateB) {
    return std::pair{Correlation(Envelope(a, rateA), Envelope(b, rateB)),
                     Correlation(BandEnergies(a, rateA), BandEnergies(b, rateB))};
  };
  for (auto [formatId, rate] :
       {std::pair{kFormatPcm8k16, 8000u}, {kFormatPcm11k16, 11025u}, {kFormatPcm22k16, 22050u}}) {
    SCOPED_TRACE(rate);
    const std::vector<int16_t> voice = Voice(6.0, rate);
    const std::string source = Source("Voice.wav", formatId, voice);
    ASSERT_EQ(Export(source, dir_.File("Voice.opus"), ExportFormat::Opus).Outcome, ExportOutcome::Done);
    const Decoded opus = ReadBack(dir_.File("Voice.opus"));
    const std::vector<float> original = ToFloats(voice);
    const auto [envelope, bands] = measure(original, rate, Mono(opus), opus.info.samplerate);
    EXPECT_GT(envelope, 0.9);
    EXPECT_GT(bands, 0.9);

    // The measure has teeth: what a broken export would give fails it.
    const std::vector<float> late(original.begin(), original.end() - rate * 6 / 100);
    std::vector<float> shifted(rate * 6 / 100, 0.0f);
    shifted.insert(shifted.end(), late.begin(), late.end());
    const auto [lateEnvelope, lateBands] = measure(original, rate, shifted, rate);
    EXPECT_LT(std::max(lateEnvelope, lateBands), 0.9) << "60 ms late";
    const auto [fastEnvelope, fastBands] =
        measure(original, rate, Mono(opus), opus.info.samplerate * 104 / 100);
    EXPECT_LT(std::max(fastEnvelope, fastBands), 0.9) << "4 % fast";
    const auto [toneEnvelope, toneBands] = measure(original, rate, ToFloats(Tone(6.0, rate, 3000)), rate);
    EXPECT_LT(std::max(toneEnvelope, toneBands), 0.5) << "a tone";
  }
}

// Cancelled at the start and half-way, and failed in each way a user can
// meet: nothing is left in the folder but what was there, the recording is
// byte for byte what it was, an older file of the target's name too.
TEST_F(ExportTest, CancelAndFailureLeaveNoFileAndTheRecordingUntouched) {
  const std::string source = Source("Talk.wav", kFormatGsm610, Voice(20.0, 8000));
  const Bytes recording = ReadBytes(source);
  WriteBytes(dir_.File("Old.opus"), Bytes{'o', 'l', 'd'});
  const std::vector<std::string> before = Entries();

  int calls = 0;
  const auto cancelAt = [&calls](int call) {
    calls = 0;
    return [&calls, call](uint64_t done, uint64_t total) {
      EXPECT_LE(done, total);
      return ++calls < call;
    };
  };
  struct Case {
    const char* what;
    std::string target;
    ExportProgress progress;
    ExportOutcome outcome;
    int error;
  };
  const std::vector<Case> cases = {
      {"cancelled at once", dir_.File("Talk.opus"), cancelAt(1), ExportOutcome::Cancelled, 0},
      {"cancelled half-way", dir_.File("Old.opus"), cancelAt(5), ExportOutcome::Cancelled, 0},
      {"no such folder", dir_.File("gone/Talk.opus"), {}, ExportOutcome::Failed, ENOENT},
      {"onto the recording", source, {}, ExportOutcome::Failed, 0},
      {"onto a folder", dir_.Base(), {}, ExportOutcome::Failed, EISDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ExportResult result =
        Export(source, c.target, c.target == source ? ExportFormat::Wav : ExportFormat::Opus, c.progress);
    EXPECT_EQ(result.Outcome, c.outcome);
    EXPECT_EQ(result.Error, c.error);
    EXPECT_FALSE(result.Message.empty());
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(ReadBytes(source), recording);
    EXPECT_EQ(ReadBytes(dir_.File("Old.opus")), (Bytes{'o', 'l', 'd'}));
  }
  EXPECT_EQ(calls, 5) << "the progress went on until it said stop";

  // A full disk (a file-size limit alike) in each format.
  for (const ExportFormatInfo& info : ExportFormats()) {
    SCOPED_TRACE(info.Key);
    ExportResult result;
    testsupport::UnderFileSizeLimit(20000, [&] {
      result = Export(source, dir_.File(std::string("Full") + info.Extension), info.Format);
      return true;
    });
    EXPECT_EQ(result.Outcome, ExportOutcome::Failed);
    EXPECT_EQ(result.Error, EFBIG);
    EXPECT_EQ(Entries(), before);
  }

  // The recording cut short by another program while it is exported.
  const ExportResult cut =
      Export(source, dir_.File("Cut.opus"), ExportFormat::Opus, [&](uint64_t done, uint64_t) {
        if (done > 0) std::filesystem::resize_file(source, recording.size() / 2);
        return true;
      });
  EXPECT_EQ(cut.Outcome, ExportOutcome::Failed);
  EXPECT_EQ(cut.Error, EIO) << "the file ends before its data";
  EXPECT_EQ(Entries(), before);
}

}  // namespace
}  // namespace audio
