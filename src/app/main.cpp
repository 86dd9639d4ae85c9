// quillon: the speech recorder. One copy per user; a second start brings the
// running window to the front and ends with -1.
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "app/controller.h"
#include "app/exit_signals.h"
#include "app/main_window.h"
#include "app/menu_bar.h"
#include "app/single_instance.h"
#include "diag/tracker.h"
#include "view/error_box.h"
#include "view/record_led.h"
#include "view/tray_led.h"

namespace {

// Ends the program as its Exit command does, on a signal. An open box or
// sheet is closed first: the controller must not go while a dialog still
// works on it.
void RequestExit(app::MainWindow& window) {
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->close();
    QTimer::singleShot(0, &window, [&window] { RequestExit(window); });
    return;
  }
  if (app::CController* controller = window.Controller()) {
    controller->Transport.ExitBySignal = true;
    controller->OnCommand(app::kCmdExit);
  } else {
    window.close();
  }
}

}  // namespace

int main(int argc, char** argv) {
  diag::InstallLeakReportAtExit();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setDesktopFileName(QStringLiteral("quillon"));
  // The program's icon, drawn at both sizes it has.
  QIcon icon;
  for (const char* size : {"48", "256"}) icon.addFile(QStringLiteral(":/skin/101-icon-%1.png").arg(QLatin1String(size)));
  QApplication::setWindowIcon(icon);

  app::SingleInstance instance;
  if (instance.AskRunningCopy()) return -1;
  instance.Listen();

  app::MainWindow window;
  view::ErrorBox::Install(&window);
  view::TrayLed* led = nullptr;
  if (view::TrayLed::Available()) {
    led = new view::TrayLed(&application);
    view::InstallLed(led);
  }
  if (!window.Create()) return -1;
  QObject::connect(&instance, &app::SingleInstance::ActivationRequested, &window,
                   [&window] { window.BringToFront(); });
  app::ExitSignals exitSignals([&window] { RequestExit(window); });
  window.show();
  const int code = QApplication::exec();
  view::ErrorBox::Uninstall();
  if (led != nullptr) view::InstallLed(nullptr);
  return code;
}
