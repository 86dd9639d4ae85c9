#include "view/error_box.h"

#include <atomic>

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "diag/show_error.h"

namespace view {

int ErrorBox::Show(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok, owner);
  return box.exec();
}

void ErrorBox::Install(QWidget* owner) {
  QPointer<QWidget> guarded(owner);
  diag::SetErrorPresenter([guarded](void*, const std::u16string& text) -> int {
    const QString message = QString::fromStdU16String(text);
    QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) return -1;
    if (QThread::currentThread() == app->thread()) return Show(guarded.data(), message);
    // Atomic: the hand-back happens inside Qt, where the race checker cannot see it.
    std::atomic<int> result{-1};
    QMetaObject::invokeMethod(
        app, [&] { result = Show(guarded.data(), message); }, Qt::BlockingQueuedConnection);
    return result.load();
  });
}

void ErrorBox::Uninstall() { diag::SetErrorPresenter(nullptr); }

}  // namespace view
