#include <gtest/gtest.h>

#include <thread>

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

#include "platform/device_paths.h"
#include "platform/registry.h"
#include "view/default_recorder.h"
#include "view/display_power.h"
#include "view/record_led.h"
#include "view/screen_blanker.h"
#include "view/time_text.h"
#include "view/tray_led.h"

namespace {

TEST(TimeText, FormatsHoursMinutesSecondsWithoutLimitingHours) {
  const struct { uint32_t seconds; std::u16string text; } cases[] = {
      {0, u"00:00:00"}, {3661, u"01:01:01"}, {360000, u"100:00:00"}, {4294967295u, u"1193046:28:15"}};
  for (const auto& c : cases) EXPECT_EQ(view::FormatTime(c.seconds), c.text) << c.seconds;
  EXPECT_EQ(view::FormatTimeParen(59), u"(00:00:59)");
}

TEST(DisplayPower, BlankerCoversTheWindowUntilPowerOnOrClickAndWithoutOneTheUserIsTold) {
  int notices = 0;
  QString text, caption;
  view::SetDisplayNotice([&](const QString& t, const QString& c) { ++notices, text = t, caption = c; });
  QWidget window;
  window.resize(240, 294);
  auto* blanker = new view::ScreenBlanker(&window);
  blanker->Install();
  window.show();
  EXPECT_TRUE(view::SetDisplayPower(false));
  EXPECT_EQ(window.grab().toImage().pixelColor(120, 150), QColor(Qt::black));
  view::SetDisplayPower(true);
  EXPECT_TRUE(blanker->IsScreenOn());
  view::SetDisplayPower(false);
  QMouseEvent click(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(blanker, &click);
  EXPECT_TRUE(blanker->IsScreenOn()) << "a tap wakes it";
  EXPECT_EQ(notices, 0);

  delete blanker;  // uninstalls itself: every request is now refused with the notice
  EXPECT_FALSE(view::SetDisplayPower(false));
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(text, QStringLiteral("Sorry, your Pocket PC does not support DisplayOff"));
  EXPECT_EQ(caption, QStringLiteral("Pocket PC Display Off Feature"));
  view::SetDisplayNotice(nullptr);
}

TEST(RecordLed, OnlyAnInstalledTrayLampCountsAndItBlinksAsLastAsked) {
  EXPECT_EQ(view::LedCount(), 0);
  EXPECT_FALSE(view::SetRecordLed(true));
  {
    view::TrayLed tray;
    view::InstallLed(&tray);
    EXPECT_EQ(view::LedCount(), 1);
    EXPECT_TRUE(view::SetRecordLed(true));
    EXPECT_TRUE(tray.IsLit());
    tray.Tick();
    EXPECT_FALSE(tray.IsLit());
    EXPECT_TRUE(view::SetRecordLed(false));
    tray.Tick();
    EXPECT_FALSE(tray.IsLit()) << "dark when off";
    // A blink asked for on the monitor thread and still queued when the
    // user's stop switches the lamp off must not light it again.
    std::thread([&] { tray.SetBlinking(true); }).join();
    tray.SetBlinking(false);
    QCoreApplication::processEvents();
    EXPECT_FALSE(tray.IsLit());
  }
  EXPECT_EQ(view::LedCount(), 0) << "a lamp that goes away is no longer the LED";
}

TEST(DefaultRecorder, OnWritesTheQuotedProgramPathAndOffRestoresThePlatformCommand) {
  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  platform::DevicePaths::SetConfigRoot(config.path().toStdString());
  EXPECT_FALSE(view::IsDefaultRecorder());
  ASSERT_TRUE(view::SetDefaultRecorder(true));  // creates the key
  const auto quoted = view::QuotedProgramPath();
  EXPECT_TRUE(quoted.size() > 2 && quoted.front() == u'"' && quoted.back() == u'"');
  EXPECT_EQ(platform::Registry::ReadDefault(view::kRecordButtonKey), quoted);
  EXPECT_TRUE(view::IsDefaultRecorder());
  ASSERT_TRUE(view::SetDefaultRecorder(false));
  EXPECT_EQ(platform::Registry::ReadDefault(view::kRecordButtonKey),
            std::u16string(u"\"\\Windows\\AppButtons\\Record.lnk\" -b"));
  EXPECT_FALSE(view::IsDefaultRecorder());
  platform::DevicePaths::ResetToDefaults();
}

}  // namespace
