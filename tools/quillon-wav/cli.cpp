#include "cli.h"

#include <cstdio>
#include <filesystem>

#include "platform/last_error.h"
#include "platform/text.h"

namespace quillonwav {

std::u16string EnginePath(const std::string& name) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(name, ignored);
  return platform::FromUtf8(absolute.empty() ? name : absolute.string());
}

int Fail(const std::string& name, const std::string& message) {
  std::fprintf(stderr, "quillon-wav: %s: %s\n", name.c_str(), message.c_str());
  return 1;
}

int FailWithLastError(const std::string& name) {
  const int code = platform::GetLastError();
  std::string text = platform::ToUtf8(platform::SystemErrorText(code));
  if (text.empty()) text = code == 0 ? "failed." : "Unknown error: " + std::to_string(code);
  return Fail(name, text);
}

int UsageError(const std::string& message, const char* usage) {
  std::fprintf(stderr, "quillon-wav: %s\nusage: quillon-wav %s\n", message.c_str(), usage);
  return 2;
}

bool OpenForReading(audio::WaveFileStream& stream, const std::string& name) {
  platform::SetLastError(0);
  if (stream.Open(EnginePath(name), audio::kStreamRead)) return true;
  if (platform::GetLastError() == 0) {
    Fail(name, "Wrong file format.");
  } else {
    FailWithLastError(name);
  }
  return false;
}

std::string FormatSeconds(uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

}  // namespace quillonwav
