#include "view/default_recorder.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/registry.h"

namespace view {

std::u16string QuotedProgramPath() {
  QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty()) path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  return u"\"" + path.toStdU16String() + u"\"";
}

bool SetDefaultRecorder(bool on) {
  if (!platform::Registry::CreateKey(kRecordButtonKey)) return false;
  return platform::Registry::WriteDefault(kRecordButtonKey,
                                          on ? QuotedProgramPath() : std::u16string(kPlatformRecorderCommand));
}

bool IsDefaultRecorder() {
  const auto value = platform::Registry::ReadDefault(kRecordButtonKey);
  return value && *value == QuotedProgramPath();
}

}  // namespace view
