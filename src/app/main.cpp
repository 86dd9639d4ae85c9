// quillon: the speech recorder. One copy per user; a second start brings the
// running window to the front and ends with -1.
#include <QApplication>
#include <QIcon>

#include "app/exit_signals.h"
#include "app/main_window.h"
#include "app/mpris.h"
#include "app/single_instance.h"
#include "diag/tracker.h"
#include "view/error_box.h"
#include "view/record_led.h"
#include "view/tray_led.h"

int main(int argc, char** argv) {
  diag::InstallLeakReportAtExit();
  // Read before the toolkit starts: its X11 connection takes
  // DESKTOP_STARTUP_ID out of the environment.
  const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN", qEnvironmentVariable("DESKTOP_STARTUP_ID"));
  // What the window redraws is small (the meter, a slider, a time) and comes
  // with every buffer: sent over the X connection it costs less than through
  // shared memory, for which the toolkit waits on the server before each
  // paint. Only this process is told: programs it starts keep the default.
  const bool shmChosen = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
  if (!shmChosen) qputenv("QT_XCB_NO_MITSHM", "1");
  QApplication application(argc, argv);
  if (!shmChosen) qunsetenv("QT_XCB_NO_MITSHM");
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  QApplication::setDesktopFileName(QStringLiteral("quillon"));
  // The program's icon, drawn at both sizes it has.
  QIcon icon;
  for (const char* size : {"48", "256"}) icon.addFile(QStringLiteral(":/skin/101-icon-%1.png").arg(QLatin1String(size)));
  QApplication::setWindowIcon(icon);

  // Someone else's copy, or a stranger's socket, never decides whether this
  // one starts: the lock lives in a folder of the user's own.
  app::SingleInstance instance;
  if (instance.Claim(token) == app::SingleInstance::Role::Second) return -1;

  app::MainWindow window;
  view::ErrorBox::Install(&window);
  view::TrayLed* led = nullptr;
  if (view::TrayLed::Available()) {
    led = new view::TrayLed(&application);
    view::InstallLed(led);
  }
  // Both before the window is made: a start-up message box may be up while
  // a second copy asks to come forward, or while the session ends the
  // program, and either must be answered then.
  QObject::connect(&instance, &app::SingleInstance::ActivationRequested, &window,
                   [&window](const QString& token) { window.BringToFront(token); });
  app::ExitSignals exitSignals([&window] { window.RequestExit(); });
  if (!window.Create()) return -1;
  window.show();
  // Media keys and the desktop's player widgets reach the player here.
  app::MprisService mpris(&window, window.Controller());
  const int code = QApplication::exec();
  view::ErrorBox::Uninstall();
  if (led != nullptr) view::InstallLed(nullptr);
  return code;
}
