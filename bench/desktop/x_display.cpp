#include "desktop/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "desktop/child_process.h"

namespace bench {
namespace {

// A window that goes away between its map and a read is no reason to end
// the bench, as Xlib's own handler would.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

Xvfb::~Xvfb() {
  if (pid_ > 0) Terminate(pid_, std::chrono::seconds(5));
}

bool Xvfb::Start(std::string* error) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    *error = "pipe: " + std::string(std::strerror(errno));
    return false;
  }
  // The server writes its display number to the pipe once it takes clients.
  pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "800x700x24", "-nolisten", "tcp"},
               Environment({}, {}), "", pipeFds[1]);
  close(pipeFds[1]);
  std::string number;
  pollfd p{pipeFds[0], POLLIN, 0};
  while (pid_ > 0 && poll(&p, 1, 10000) > 0) {
    char c;
    if (read(pipeFds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(pipeFds[0]);
  if (pid_ < 0 || number.empty()) {
    *error = "Xvfb did not start (scripts/install-deps installs it)";
    return false;
  }
  name_ = ":" + number;
  return true;
}

WindowWatch::~WindowWatch() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

bool WindowWatch::Open(const std::string& display) {
  XSetErrorHandler(IgnoreXError);
  display_ = XOpenDisplay(display.c_str());
  if (display_ == nullptr) return false;
  XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
  XSync(display_, False);
  return true;
}

bool WindowWatch::HasTitle(unsigned long window, const std::string& title) {
  // WM_NAME as the toolkit sets it; an ASCII title reads the same in any of its encodings.
  for (const char* name : {"_NET_WM_NAME", "WM_NAME"}) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    const Atom property = XInternAtom(display_, name, False);
    if (XGetWindowProperty(display_, window, property, 0, 256, False, AnyPropertyType, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
      const bool same = format == 8 && std::string(reinterpret_cast<char*>(data), count) == title;
      XFree(data);
      if (same) return true;
    }
  }
  return false;
}

void WindowWatch::ForgetEvents() { XSync(display_, True); }

unsigned long WindowWatch::WaitMapped(const std::string& title, Clock::time_point deadline, Clock::time_point* mapped) {
  while (Clock::now() < deadline) {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == MapNotify && HasTitle(event.xmap.window, title)) {
        *mapped = Clock::now();
        return event.xmap.window;
      }
    }
    pollfd p{ConnectionNumber(display_), POLLIN, 0};
    poll(&p, 1, 1);
  }
  return 0;
}

bool WindowWatch::Grab(unsigned long window, Frame* frame) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display_, window, &attributes) || attributes.map_state != IsViewable) return false;
  XImage* image = XGetImage(display_, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  frame->seen = Clock::now();
  if (image == nullptr) return false;
  frame->width = image->width;
  frame->height = image->height;
  frame->pixels.resize(static_cast<size_t>(image->width) * image->height);
  for (int y = 0; y < image->height; ++y) {
    if (image->bits_per_pixel == 32) {
      const auto* row = reinterpret_cast<const uint32_t*>(image->data + static_cast<size_t>(y) * image->bytes_per_line);
      for (int x = 0; x < image->width; ++x)
        frame->pixels[static_cast<size_t>(y) * image->width + x] = row[x] & 0xFFFFFF;
    } else {
      for (int x = 0; x < image->width; ++x)
        frame->pixels[static_cast<size_t>(y) * image->width + x] = XGetPixel(image, x, y) & 0xFFFFFF;
    }
  }
  XDestroyImage(image);
  return true;
}

size_t DifferentPixels(const Frame& a, const Frame& b) {
  if (a.width != b.width || a.height != b.height) return std::max(a.pixels.size(), b.pixels.size());
  size_t different = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) different += a.pixels[i] != b.pixels[i];
  return different;
}

}  // namespace bench
