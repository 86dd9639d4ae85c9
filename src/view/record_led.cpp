#include "view/record_led.h"

#include <mutex>

namespace view {
namespace {

std::mutex g_mutex;
LedIndicator* g_led = nullptr;

}  // namespace

void InstallLed(LedIndicator* led) {
  std::lock_guard lock(g_mutex);
  g_led = led;
}

void UninstallLed(LedIndicator* led) {
  std::lock_guard lock(g_mutex);
  if (g_led == led) g_led = nullptr;
}

int LedCount() {
  std::lock_guard lock(g_mutex);
  return g_led ? 1 : 0;
}

bool SetRecordLed(bool blink) {
  std::lock_guard lock(g_mutex);
  if (!g_led) return false;
  g_led->SetBlinking(blink);
  return true;
}

}  // namespace view
