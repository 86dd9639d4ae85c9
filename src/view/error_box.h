#pragma once
// Shows the program's error texts in a message box owned by the main window:
// stop icon, OK button, the program's name as caption. Failures met on other
// threads (the monitor thread) are shown on the UI thread, which the caller
// waits for, as it would for a modal box.
//
// The text is plain text, always: it holds file names, paths and the
// system's words, and none of them may turn into a link or an image. A text
// too long or too wide for the screen is broken and shortened so that the
// box and its button stay on the screen.

#include <memory>

#include <QFontMetrics>
#include <QMessageBox>
#include <QSize>
#include <QPointer>
#include <QWidget>

namespace view {

class ErrorBox {
 public:
  // Most characters on one line, and most lines shown; on a small screen
  // fewer, as the screen's room allows.
  static constexpr int kMaxLineChars = 72;
  static constexpr int kMaxLines = 24;

  // Installs the box as the presenter of every error text; owner may be null.
  static void Install(QWidget* owner);
  // Removes it again (texts then go to standard error).
  static void Uninstall();
  // The box's result for text: QMessageBox::Ok once the user closed it.
  static int Show(QWidget* owner, const QString& text);
  // The box Show runs, not yet shown.
  static std::unique_ptr<QMessageBox> Make(QWidget* owner, const QString& text);
  // The text as the box shows it in `metrics`, within `room` (pixels): lines
  // too long broken (at a space where there is one), and of too many lines
  // the first and the last kept around an ellipsis.
  static QString Fitted(const QString& text, const QFontMetrics& metrics, QSize room);
};

// A message box of plain text (an information box with one OK button).
std::unique_ptr<QMessageBox> PlainMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                             QWidget* owner);

}  // namespace view
