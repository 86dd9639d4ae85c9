// quillon-e2e-check: what the end-to-end scripts check in the files the real
// program leaves behind, with libgsm and libsndfile as independent readers.
//
//   quillon-e2e-check prefix INPUT.raw FILE.wav MINBYTES
//       the data of FILE is the input (PCM) or its GSM coding, from the
//       first sample, at least MINBYTES long
//   quillon-e2e-check defaults SETTINGS.dat   the file is the default settings
//   quillon-e2e-check settings SETTINGS.dat FORMATID [NAME=VALUE...]
//       writes the defaults with that format and those fields (VasMode=2, Storage=Card, ...)
//   quillon-e2e-check formatid SETTINGS.dat   prints the file's FormatId
//   quillon-e2e-check get SETTINGS.dat NAME   prints an integer field (VasMode, PlayMode, ...)
//   quillon-e2e-check format FILE.wav         prints "rate bits channels" as libsndfile reads it
//   quillon-e2e-check played OUT.raw FILE.wav...
//       OUT holds each file's decoded samples, one after the other
//   quillon-e2e-check heard OUT.raw FILE.wav...
//       the same, with silence (zero bytes) before, between and after them,
//       as a sound server's sink plays while nothing else sounds
//   quillon-e2e-check run INPUT.raw FILE.wav MINBYTES
//       the data of FILE (PCM) is one stretch of the input, unbroken, at
//       least MINBYTES long; prints where it starts
//   quillon-e2e-check holds INPUT.raw CAPTURED FILE.wav
//       the program ended abruptly while recording FILE, when the device had
//       captured the first CAPTURED bytes of the input. FILE's header
//       sizes lie within the file, its data is the input (PCM) or its GSM
//       coding from the first sample, libsndfile reads all of it, and it
//       holds all that was captured but at most the last device buffer (640 bytes);
//       prints "held N of M captured device bytes"
//   quillon-e2e-check header FILE.wav      prints the header's RIFF size, data size and
//                                          (GSM) fact sample count, and the file's size
// Exit status 0 when the check holds, 1 with a line on stderr when not.
#include <gsm.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/settings_store.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le32(const Bytes& b, size_t o) {
  return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | static_cast<uint32_t>(b[o + 3]) << 24;
}

struct Wave {
  uint16_t tag = 0;
  Bytes data;
  size_t dataAt = 0;  // offset of the data in the file
};

bool ParseWave(const Bytes& file, Wave* wave) {
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    return false;
  for (size_t o = 12; o + 8 <= file.size();) {
    const uint32_t size = Le32(file, o + 4);
    if (std::memcmp(file.data() + o, "fmt ", 4) == 0 && size >= 2) wave->tag = file[o + 8] | file[o + 9] << 8;
    if (std::memcmp(file.data() + o, "data", 4) == 0) {
      const size_t end = std::min<size_t>(file.size(), o + 8 + size);
      wave->data.assign(file.begin() + static_cast<long>(o) + 8, file.begin() + static_cast<long>(end));
      wave->dataAt = o + 8;
      return true;
    }
    o += 8 + size + (size & 1);
  }
  return false;
}

gsm NewCodec() {
  gsm codec = gsm_create();
  int one = 1;
  gsm_option(codec, GSM_OPT_WAV49, &one);
  return codec;
}

Bytes GsmEncode(const Bytes& pcm) {
  Bytes out;
  gsm codec = NewCodec();
  gsm_signal block[320];
  for (size_t first = 0; (first + 320) * 2 <= pcm.size(); first += 320) {
    for (size_t i = 0; i < 320; ++i) block[i] = static_cast<gsm_signal>(pcm[2 * (first + i)] | pcm[2 * (first + i) + 1] << 8);
    uint8_t pair[65] = {};  // the second frame shares a byte with the first
    gsm_encode(codec, block, pair);
    gsm_encode(codec, block + 160, pair + 32);
    out.insert(out.end(), pair, pair + 65);
  }
  gsm_destroy(codec);
  return out;
}

Bytes GsmDecode(const Bytes& pairs) {
  Bytes out;
  gsm codec = NewCodec();
  gsm_signal samples[320];
  for (size_t o = 0; o + 65 <= pairs.size(); o += 65) {
    uint8_t pair[65];
    std::memcpy(pair, pairs.data() + o, 65);
    gsm_decode(codec, pair, samples);
    gsm_decode(codec, pair + 33, samples + 160);
    for (gsm_signal s : samples) {
      out.push_back(static_cast<uint8_t>(s & 0xFF));
      out.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
  }
  gsm_destroy(codec);
  return out;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "quillon-e2e-check: %s\n", why.c_str());
  return 1;
}

// The GSM coding of the input where the last pair may hold only the first k
// samples of its block, the rest silence: a recording stopped in the middle
// of a buffer keeps what that buffer had.
bool LastPairIsAPartialBlock(const Bytes& in, const Bytes& data) {
  const size_t pairs = data.size() / 65;
  if (pairs == 0 || pairs * 320 * 2 > in.size()) return false;
  for (size_t k = 0; k <= 320; ++k) {
    Bytes samples(in.begin(), in.begin() + static_cast<long>((pairs - 1) * 640 + 2 * k));
    samples.resize(pairs * 640, 0);
    if (GsmEncode(samples) == data) return true;
  }
  return false;
}

int Prefix(const char* input, const char* path, long minimum) {
  Wave wave;
  if (!ParseWave(ReadAll(path), &wave)) return Fail(std::string(path) + ": not a WAV file");
  const Bytes in = ReadAll(input);
  const Bytes expected = wave.tag == 0x31 ? GsmEncode(in) : in;
  if (wave.tag == 0x31 && wave.data.size() >= 65 && wave.data.size() % 65 == 0 && wave.data.size() <= expected.size() &&
      std::equal(wave.data.begin(), wave.data.end() - 65, expected.begin()) &&
      !std::equal(wave.data.end() - 65, wave.data.end(), expected.begin() + static_cast<long>(wave.data.size()) - 65)) {
    if (!LastPairIsAPartialBlock(in, wave.data)) return Fail("the last pair is not the input's last samples");
    std::printf("%zu data bytes match the input from its first sample (the last block partly)\n", wave.data.size());
    return static_cast<long>(wave.data.size()) >= minimum ? 0 : Fail("too short");
  }
  if (static_cast<long>(wave.data.size()) < minimum)
    return Fail(std::to_string(wave.data.size()) + " data bytes, fewer than " + std::to_string(minimum));
  if (wave.data.size() > expected.size()) return Fail("more data than the input gives");
  for (size_t i = 0; i < wave.data.size(); ++i) {
    if (wave.data[i] != expected[i]) return Fail("data differs from the input's at byte " + std::to_string(i));
  }
  std::printf("%zu data bytes match the input from its first sample\n", wave.data.size());
  return 0;
}

int Defaults(const char* path) {
  const Bytes file = ReadAll(path);
  settings::SettingsStore store;
  store.SetDefaults();
  if (file.size() != sizeof store.Record) return Fail(std::to_string(file.size()) + " bytes instead of 700");
  if (std::memcmp(file.data(), &store.Record, sizeof store.Record) != 0) return Fail("not the default settings");
  return 0;
}

// The integer fields a script sets or reads by name; Storage and Folder are texts.
int32_t* IntField(settings::SettingsRecord& r, const std::string& name) {
  if (name == "Volume") return &r.Volume;
  if (name == "VasThreshold") return &r.VasThreshold;
  if (name == "VasMode") return &r.VasMode;
  if (name == "WrapAround") return &r.WrapAround;
  if (name == "LedBlink") return &r.LedBlink;
  if (name == "FormatId") return &r.FormatId;
  if (name == "PlayMode") return &r.PlayMode;
  return nullptr;
}

template <size_t N>
bool SetText(char16_t (&field)[N], const std::string& value) {
  if (value.size() >= N) return false;
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy(value.begin(), value.end(), field);  // ASCII is enough for the scripts
  return true;
}

// settings PATH FORMATID [NAME=VALUE...]: the defaults with these changes.
int WriteSettings(const char* path, int formatId, int count, char** assignments) {
  settings::SettingsStore store;
  store.SetDefaults();
  store.Record.FormatId = formatId;
  for (int i = 0; i < count; ++i) {
    const std::string assignment = assignments[i];
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) return Fail(assignment + ": not NAME=VALUE");
    const std::string name = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    bool set = false;
    if (int32_t* field = IntField(store.Record, name)) {
      *field = std::atoi(value.c_str());
      set = true;
    } else if (name == "Storage") {
      set = SetText(store.Record.Storage, value);
    } else if (name == "Folder") {
      set = SetText(store.Record.Folder, value);
    }
    if (!set) return Fail(assignment + ": no such field, or too long");
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&store.Record), sizeof store.Record);
  return out.good() ? 0 : Fail(std::string(path) + ": cannot be written");
}

// get PATH NAME: an integer field of settings.dat.
int GetField(const char* path, const std::string& name) {
  const Bytes file = ReadAll(path);
  settings::SettingsRecord record{};
  if (file.size() != sizeof record) return Fail(std::to_string(file.size()) + " bytes instead of 700");
  std::memcpy(&record, file.data(), sizeof record);
  const int32_t* field = IntField(record, name);
  if (field == nullptr) return Fail(name + ": no such field");
  std::printf("%d\n", *field);
  return 0;
}

int Format(const char* path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (file == nullptr) return Fail(std::string(path) + ": " + sf_strerror(nullptr));
  int bits = 0;
  switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8: bits = 8; break;
    case SF_FORMAT_PCM_16: bits = 16; break;
    case SF_FORMAT_GSM610: bits = 0; break;
    default: bits = -1; break;
  }
  std::printf("%d %d %d\n", info.samplerate, bits, info.channels);
  sf_close(file);
  return 0;
}

int Played(const char* out, int count, char** paths) {
  Bytes expected;
  for (int i = 0; i < count; ++i) {
    Wave wave;
    if (!ParseWave(ReadAll(paths[i]), &wave)) return Fail(std::string(paths[i]) + ": not a WAV file");
    const Bytes decoded = wave.tag == 0x31 ? GsmDecode(wave.data) : wave.data;
    expected.insert(expected.end(), decoded.begin(), decoded.end());
  }
  const Bytes heard = ReadAll(out);
  if (heard.size() != expected.size())
    return Fail("heard " + std::to_string(heard.size()) + " bytes, the files hold " + std::to_string(expected.size()));
  for (size_t i = 0; i < heard.size(); ++i) {
    if (heard[i] != expected[i]) return Fail("what was heard differs at byte " + std::to_string(i));
  }
  std::printf("%zu bytes heard, exactly the files' samples\n", heard.size());
  return 0;
}

Bytes Decoded(const char* path, bool* ok) {
  Wave wave;
  *ok = ParseWave(ReadAll(path), &wave);
  return wave.tag == 0x31 ? GsmDecode(wave.data) : wave.data;
}

int HeardAmidSilence(const char* out, int count, char** paths) {
  const Bytes heard = ReadAll(out);
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    bool ok = false;
    const Bytes expected = Decoded(paths[i], &ok);
    if (!ok) return Fail(std::string(paths[i]) + ": not a WAV file");
    // The file starts where the silence before it ends, less its own
    // leading zeros.
    const size_t lead = std::find_if(expected.begin(), expected.end(), [](uint8_t b) { return b != 0; }) -
                        expected.begin();
    const size_t loud = std::find_if(heard.begin() + static_cast<long>(at), heard.end(),
                                     [](uint8_t b) { return b != 0; }) - heard.begin();
    if (loud < lead || loud - lead < at || loud - lead + expected.size() > heard.size() ||
        !std::equal(expected.begin(), expected.end(), heard.begin() + static_cast<long>(loud - lead)))
      return Fail(std::string(paths[i]) + " is not heard whole after silence (heard " + std::to_string(heard.size()) +
                  " bytes)");
    at = loud - lead + expected.size();
  }
  if (std::any_of(heard.begin() + static_cast<long>(at), heard.end(), [](uint8_t b) { return b != 0; }))
    return Fail("something else was heard after the files");
  std::printf("the files' samples heard whole, amid %zu bytes of silence\n", heard.size() - at);
  return 0;
}

int Run(const char* input, const char* path, long minimum) {
  bool ok = false;
  const Bytes data = Decoded(path, &ok);
  if (!ok) return Fail(std::string(path) + ": not a WAV file");
  if (static_cast<long>(data.size()) < minimum)
    return Fail(std::to_string(data.size()) + " data bytes, fewer than " + std::to_string(minimum));
  const Bytes in = ReadAll(input);
  const auto found = std::search(in.begin(), in.end(), data.begin(), data.end());
  if (data.empty() || found == in.end()) return Fail("the data is not one unbroken stretch of the input");
  std::printf("%zu data bytes: the input from byte %ld on, unbroken\n", data.size(),
              static_cast<long>(found - in.begin()));
  return 0;
}

// How many frames libsndfile reads from the file, or -1 when it can't open it.
long SndfileFrames(const char* path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (file == nullptr) return -1;
  std::vector<short> samples(4096 * std::max(info.channels, 1));
  long frames = 0;
  for (sf_count_t n; (n = sf_readf_short(file, samples.data(), 4096)) > 0;) frames += n;
  sf_close(file);
  return frames;
}

constexpr size_t kDeviceBuffer = 640;
// One read of the device (20 ms): the capture ring may hold it for the
// buffer being filled, so a kill can cost it as well.
constexpr size_t kDeviceRead = 320;

int Holds(const char* input, long captured, const char* path) {
  const Bytes file = ReadAll(path);
  Wave wave;
  if (!ParseWave(file, &wave)) return Fail(std::string(path) + ": not a WAV file");
  if (Le32(file, 4) + 8 > file.size()) return Fail("the RIFF size reaches past the end of the file");
  const bool gsm = wave.tag == 0x31;
  const Bytes in = ReadAll(input);
  if (captured < 0 || static_cast<size_t>(captured) > in.size()) return Fail("captured more than the input");
  const size_t heard = static_cast<size_t>(captured);
  // The header's data size, which ParseWave cuts to the file.
  const size_t dataSize = Le32(file, wave.dataAt - 4);
  const size_t frameBytes = gsm ? 65 : 1;
  if (wave.dataAt + dataSize > file.size() || dataSize % frameBytes != 0)
    return Fail("the data size " + std::to_string(dataSize) + " is not whole blocks within the file");
  const size_t held = gsm ? wave.data.size() / 65 * kDeviceBuffer : wave.data.size();
  // The data goes in before the header counts it: ended in between, the file
  // has one more block after the counted data, the input's next one.
  const size_t blockBytes = gsm ? 65 : kDeviceBuffer;
  const size_t beyond = file.size() - (wave.dataAt + dataSize);
  if (beyond != 0 && beyond != blockBytes)
    return Fail(std::to_string(beyond) + " bytes after the data, neither none nor one block");
  if (held + (beyond != 0 ? kDeviceBuffer : 0) > heard)
    return Fail("holds " + std::to_string(held) + " device bytes, more than the device captured");
  if (held + kDeviceBuffer + kDeviceRead < heard)
    return Fail("holds " + std::to_string(held) + " of " + std::to_string(heard) +
                " captured device bytes: more than the last buffer and the last read are missing");
  const Bytes expected = gsm ? GsmEncode(in) : in;
  if (file.size() - wave.dataAt > expected.size() ||
      !std::equal(file.begin() + static_cast<long>(wave.dataAt), file.end(), expected.begin()))
    return Fail("the data is not the input's from its first sample");
  // libsndfile may take the uncounted block too, and it reads GSM in twos of
  // pairs, the last one made up with silence.
  const long frames = SndfileFrames(path);
  const auto readable = [gsm](size_t bytes, long n) {
    const long samples = static_cast<long>(bytes / 2);
    return n == samples || (gsm && n == (samples / 320 + 1) / 2 * 640);
  };
  if (!readable(held, frames) && (beyond == 0 || !readable(held + kDeviceBuffer, frames)))
    return Fail("libsndfile reads " + std::to_string(frames) + " frames, not " + std::to_string(held / 2));
  std::printf("held %zu of %zu captured device bytes%s\n", held, heard,
              beyond != 0 ? " (and the next block, not yet counted)" : "");
  return 0;
}

int Header(const char* path) {
  const Bytes file = ReadAll(path);
  Wave wave;
  if (!ParseWave(file, &wave)) return Fail(std::string(path) + ": not a WAV file");
  const size_t dataAt = wave.dataAt;
  // GSM files this program writes carry the fact chunk at 40.
  const bool fact = wave.tag == 0x31 && file.size() >= 52 && std::memcmp(file.data() + 40, "fact", 4) == 0;
  std::printf("riff %u data %u fact %ld file %zu\n", Le32(file, 4), Le32(file, dataAt - 4),
              fact ? static_cast<long>(Le32(file, 48)) : -1L, file.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "prefix" && argc == 5) return Prefix(argv[2], argv[3], std::atol(argv[4]));
  if (command == "defaults" && argc == 3) return Defaults(argv[2]);
  if (command == "settings" && argc >= 4) return WriteSettings(argv[2], std::atoi(argv[3]), argc - 4, argv + 4);
  if (command == "formatid" && argc == 3) return GetField(argv[2], "FormatId");
  if (command == "get" && argc == 4) return GetField(argv[2], argv[3]);
  if (command == "format" && argc == 3) return Format(argv[2]);
  if (command == "played" && argc >= 4) return Played(argv[2], argc - 3, argv + 3);
  if (command == "heard" && argc >= 4) return HeardAmidSilence(argv[2], argc - 3, argv + 3);
  if (command == "run" && argc == 5) return Run(argv[2], argv[3], std::atol(argv[4]));
  if (command == "holds" && argc == 5) return Holds(argv[2], std::atol(argv[3]), argv[4]);
  if (command == "header" && argc == 3) return Header(argv[2]);
  std::fputs("usage: quillon-e2e-check prefix|defaults|settings|formatid|get|format|played|heard|run|holds|header ...\n",
             stderr);
  return 2;
}
