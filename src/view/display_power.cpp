#include "view/display_power.h"

#include <mutex>

#include <QMessageBox>

#include "view/error_box.h"

namespace view {
namespace {

std::mutex g_mutex;
DisplayBlanker g_blanker;
DisplayNotice g_notice;

void ShowNotice(const QString& text, const QString& caption) {
  DisplayNotice notice;
  {
    std::lock_guard lock(g_mutex);
    notice = g_notice;
  }
  if (notice) {
    notice(text, caption);
    return;
  }
  PlainMessageBox(QMessageBox::Information, caption, text, nullptr)->exec();
}

}  // namespace

void InstallDisplayBlanker(DisplayBlanker blanker) {
  std::lock_guard lock(g_mutex);
  g_blanker = std::move(blanker);
}

void SetDisplayNotice(DisplayNotice notice) {
  std::lock_guard lock(g_mutex);
  g_notice = std::move(notice);
}

bool SetDisplayPower(bool on) {
  DisplayBlanker blanker;
  {
    std::lock_guard lock(g_mutex);
    blanker = g_blanker;
  }
  if (!blanker) {
    ShowNotice(QString::fromUtf16(kDisplayOffUnsupported), QString::fromUtf16(kDisplayOffCaption));
    return false;
  }
  blanker(on);
  return true;
}

}  // namespace view
