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

namespace {

TEST(ErrorBox, ShowsTheComposedTextWithAStopIconOwnedByTheWindowOnTheUiThread) {
  QWidget window;
  view::ErrorBox::Install(&window);
  // Closes the box once it appears, noting what it showed.
  QString text;
  std::function<void()> poll = [&] {
    auto* seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (seen == nullptr) return QTimer::singleShot(5, poll);
    text = seen->text();
    EXPECT_EQ(seen->icon(), QMessageBox::Critical);
    EXPECT_EQ(seen->parentWidget(), &window);
    EXPECT_EQ(QThread::currentThread(), QApplication::instance()->thread());
    seen->button(QMessageBox::Ok)->click();
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
