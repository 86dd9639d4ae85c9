#include "view/x11_auto_repeat.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#if QT_CONFIG(xcb)
#include <X11/XKBlib.h>
#endif

namespace view {

bool EnableX11DetectableAutoRepeat() {
#if QT_CONFIG(xcb)
  auto* app = qGuiApp;
  if (app == nullptr) return false;
  auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->display() == nullptr) return false;
  Bool supported = False;
  // Per connection: it holds for the program's own connection to the server.
  XkbSetDetectableAutoRepeat(x11->display(), True, &supported);
  return supported == True;
#else
  return false;
#endif
}

}  // namespace view
