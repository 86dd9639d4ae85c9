#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "diag/show_error.h"
#include "view/error_box.h"

namespace {

// Closes the next message box that appears and remembers what it showed.
struct BoxCloser {
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QWidget* parent = nullptr;
  QThread* thread = nullptr;
  BoxCloser() { QTimer::singleShot(0, [this] { Poll(); }); }
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return QTimer::singleShot(5, [this] { Poll(); });
    text = box->text();
    icon = box->icon();
    parent = box->parentWidget();
    thread = QThread::currentThread();
    box->button(QMessageBox::Ok)->click();
  }
};

TEST(ErrorBox, ShowsTheComposedTextWithAStopIconOwnedByTheWindowOnTheUiThread) {
  QWidget window;
  view::ErrorBox::Install(&window);
  BoxCloser closer;
  std::atomic<int> result{0};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = diag::ShowError(nullptr, u"CreateThread(): failed.", ENOMEM);
    done = true;
  });
  while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_EQ(result.load(), QMessageBox::Ok);
  EXPECT_EQ(closer.text, QStringLiteral("CreateThread(): failed.\n\nCannot allocate memory"));
  EXPECT_EQ(closer.icon, QMessageBox::Critical);
  EXPECT_EQ(closer.thread, QApplication::instance()->thread());
  EXPECT_EQ(closer.parent, &window);
  view::ErrorBox::Uninstall();
}

}  // namespace
