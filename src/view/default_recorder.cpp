#include "view/default_recorder.h"

#include <atomic>
#include <cerrno>

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/last_error.h"
#include "platform/registry.h"

namespace view {

std::u16string QuotedProgramPath() {
  QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty()) path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  return u"\"" + path.toStdU16String() + u"\"";
}

namespace {

std::atomic<int> g_saveError{0};

}  // namespace

bool SetDefaultRecorder(bool on) {
  const bool written =
      platform::Registry::CreateKey(kRecordButtonKey) &&
      platform::Registry::WriteDefault(kRecordButtonKey,
                                       on ? QuotedProgramPath() : std::u16string(kPlatformRecorderCommand));
  const int error = platform::GetLastError();
  g_saveError = written ? 0 : (error != 0 ? error : EIO);
  return written;
}

int DefaultRecorderSaveError() { return g_saveError; }

bool IsDefaultRecorder() {
  const auto value = platform::Registry::ReadDefault(kRecordButtonKey);
  return value && *value == QuotedProgramPath();
}

}  // namespace view
