// Arbitrary bytes as registry.txt. Reading never takes more than the store
// can hold: a value read is within its limit; a value written then reads
// back as written, with the store within its size limit; and another entry
// readable before is, after the write, either the same or gone for room.
//
//   fuzz_registry_load -max_total_time=60 CORPUS_DIR tests/data/registry

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "platform/registry.h"

namespace {

using platform::Registry;

constexpr char16_t kKey[] = u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5";
constexpr char16_t kOther[] = u"Other";

const std::string& ConfigFolder() { return fuzzsupport::ConfigFolder("fuzz-registry"); }

void Check(bool holds, const char* what) { fuzzsupport::Check("fuzz_registry_load", holds, what); }

void CheckRead(const std::optional<std::u16string>& value, const char* what) {
  Check(!value || value->size() <= Registry::kMaxValueChars, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ConfigFolder() + "/registry.txt";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return 0;

  const std::optional<std::u16string> key = Registry::ReadDefault(kKey);
  const std::optional<std::u16string> other = Registry::ReadDefault(kOther);
  CheckRead(key, "a value read is longer than a value can be");
  CheckRead(other, "a value read is longer than a value can be");

  // A value made of the input's first bytes: any text (a lone surrogate,
  // which no text file can hold, stands as U+FFFD).
  std::u16string value;
  for (size_t i = 0; i + 1 < size && value.size() < Registry::kMaxValueChars; i += 2) {
    value += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  }
  for (size_t i = 0; i < value.size(); ++i) {
    const bool high = value[i] >= 0xD800 && value[i] <= 0xDBFF;
    const bool low = value[i] >= 0xDC00 && value[i] <= 0xDFFF;
    if (high && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      value[i] = 0xFFFD;
    }
  }
  Check(Registry::CreateKey(kKey), "the key could not be made");
  Check(Registry::WriteDefault(kKey, value), "the value could not be written");
  Check(Registry::ReadDefault(kKey) == value, "the value written reads back changed");
  Check(std::filesystem::file_size(path) <= Registry::kMaxStoreBytes, "the store grew past its limit");
  const std::optional<std::u16string> otherAfter = Registry::ReadDefault(kOther);
  Check(!otherAfter || otherAfter == other, "another entry changed");
  return 0;
}
