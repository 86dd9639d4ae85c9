#include "platform/last_error.h"

#include <cerrno>
#include <cstring>

#include "platform/text.h"

namespace platform {

namespace {
thread_local int tLastError = 0;
}  // namespace

int GetLastError() { return tLastError; }

void SetLastError(int code) { tLastError = code; }

int SetLastErrorFromErrno() {
  tLastError = errno;
  return tLastError;
}

std::u16string SystemErrorText(int code) {
  // Unlike strerror, strerrordesc_np answers null for a code without text
  // instead of composing "Unknown error N", so the caller decides the wording.
  const char* text = strerrordesc_np(code);
  return text != nullptr ? FromUtf8(text) : std::u16string();
}

}  // namespace platform
