#include "view/window_activation.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QString>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#if QT_CONFIG(xcb)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace view {
namespace {

#if QT_CONFIG(xcb)
Display* X11Display() {
  auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 != nullptr ? x11->display() : nullptr;
}

// Startup notification: "remove: ID=..." in 20-byte pieces, the first as
// _NET_STARTUP_INFO_BEGIN, so that the launcher's busy feedback for the
// second start ends here (that copy never maps a window).
void SendStartupRemove(Display* display, const QByteArray& id) {
  QByteArray message = "remove: ID=\"";
  for (char c : id) {
    if (c == '"' || c == '\\') message += '\\';
    message += c;
  }
  message += '"';
  message += '\0';
  const Window root = DefaultRootWindow(display);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window sender = XCreateWindow(display, root, -100, -100, 1, 1, 0, CopyFromParent, InputOnly,
                                      CopyFromParent, CWOverrideRedirect, &attributes);
  const Atom begin = XInternAtom(display, "_NET_STARTUP_INFO_BEGIN", False);
  const Atom more = XInternAtom(display, "_NET_STARTUP_INFO", False);
  for (qsizetype at = 0; at < message.size(); at += 20) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.display = display;
    event.xclient.window = sender;
    event.xclient.message_type = at == 0 ? begin : more;
    event.xclient.format = 8;
    const QByteArray piece = message.mid(at, 20);
    std::copy(piece.begin(), piece.end(), event.xclient.data.b);
    XSendEvent(display, root, False, PropertyChangeMask, &event);
  }
  XDestroyWindow(display, sender);
}

// An EWMH window manager names its check window on the root.
bool WindowManagerRuns(Display* display) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, DefaultRootWindow(display),
                                        XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                                        XA_WINDOW, &type, &format, &count, &after, &data);
  const bool runs = status == Success && type == XA_WINDOW && count == 1;
  if (data != nullptr) XFree(data);
  return runs;
}

void ActivateOnX11(QWidget* window, const QString& token) {
  Display* display = X11Display();
  if (display == nullptr) return;
  const Window id = static_cast<Window>(window->winId());
  const Window root = DefaultRootWindow(display);
  const unsigned long time = StartupIdTime(token);
  window->raise();
  if (!token.isEmpty()) {
    const QByteArray bytes = token.toUtf8();
    XChangeProperty(display, id, XInternAtom(display, "_NET_STARTUP_ID", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<int>(bytes.size()));
    SendStartupRemove(display, bytes);
  }
  if (!WindowManagerRuns(display)) {
    // Nobody else hands the keyboard out: the launch's time, or now.
    XSetInputFocus(display, id, RevertToParent, time != 0 ? time : CurrentTime);
  } else if (time != 0) {
    // The user's launch time tells the window manager this is no theft.
    const long userTime = static_cast<long>(time);
    XChangeProperty(display, id, XInternAtom(display, "_NET_WM_USER_TIME", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&userTime), 1);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // from an application
    event.xclient.data.l[1] = userTime;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  }
  XFlush(display);
}
#endif

}  // namespace

unsigned long StartupIdTime(const QString& id) {
  static const QRegularExpression time(QStringLiteral("_TIME([0-9]+)$"));
  const QRegularExpressionMatch match = time.match(id);
  return match.hasMatch() ? match.captured(1).toULong() : 0;
}

void ActivateWithToken(QWidget* window, const QString& token) {
  if (window == nullptr) return;
  if (window->isMinimized()) window->showNormal();
  window->show();
  window->raise();
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("wayland")) {
    // Qt's xdg-shell reads the token from the environment when it asks the
    // compositor to activate a window, and clears it once used.
    if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    window->activateWindow();
    qunsetenv("XDG_ACTIVATION_TOKEN");
    return;
  }
  window->activateWindow();
#if QT_CONFIG(xcb)
  // After Qt's own request, which carries the time of the last event this
  // program saw: older than the other program's focus, so the server drops it.
  if (platform == QLatin1String("xcb")) ActivateOnX11(window, token);
#endif
}

}  // namespace view
