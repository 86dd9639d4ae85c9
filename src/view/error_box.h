#pragma once
// Shows the program's error texts in a message box owned by the main window:
// stop icon, OK button, the program's name as caption. Failures met on other
// threads (the monitor thread) are shown on the UI thread, which the caller
// waits for, as it would for a modal box.

#include <QPointer>
#include <QWidget>

namespace view {

class ErrorBox {
 public:
  // Installs the box as the presenter of every error text; owner may be null.
  static void Install(QWidget* owner);
  // Removes it again (texts then go to standard error).
  static void Uninstall();
  // The box's result for text: QMessageBox::Ok once the user closed it.
  static int Show(QWidget* owner, const QString& text);
};

}  // namespace view
