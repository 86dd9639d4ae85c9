#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "diag/show_error.h"
#include "view/error_box.h"
#include "view/record_led.h"
#include "view/tray_led.h"

namespace {

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

TEST(ErrorBox, ShowsTheComposedTextWithAStopIconOwnedByTheWindowOnTheUiThread) {
  QWidget window;
  view::ErrorBox::Install(&window);
  QString text;
  std::function<void()> poll = [&] {  // closes the box once it appears
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return QTimer::singleShot(5, poll);
    text = box->text();
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->parentWidget(), &window);
    EXPECT_EQ(QThread::currentThread(), QApplication::instance()->thread());
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, poll);
  std::atomic<int> result{0};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = diag::ShowError(nullptr, u"CreateThread(): failed.", ENOMEM);
    done = true;
  });
  while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(result.load(), QMessageBox::Ok);
  EXPECT_EQ(text, QStringLiteral("CreateThread(): failed.\n\nCannot allocate memory"));
  view::ErrorBox::Uninstall();
}

}  // namespace
