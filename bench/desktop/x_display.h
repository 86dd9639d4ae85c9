#pragma once
// A private X server (Xvfb) and a client of it that sees top-level windows
// being mapped and reads their pixels, as a person's eyes would.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace bench {

using Clock = std::chrono::steady_clock;

class Xvfb {
 public:
  Xvfb() = default;
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // Starts a server on a free display number; false (and `error`) on failure.
  bool Start(std::string* error);
  const std::string& Name() const { return name_; }  // ":N"
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// One picture of a window: 0xRRGGBB words, row after row.
struct Frame {
  Clock::time_point seen;  // when the read that first showed it returned
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

class WindowWatch {
 public:
  WindowWatch() = default;
  ~WindowWatch();
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

  // Connects and starts listening for maps of top-level windows.
  bool Open(const std::string& display);

  // Drops the events seen so far: maps from before a start are not its window's.
  void ForgetEvents();

  // Waits until a top-level window whose title is `title` is mapped; its id,
  // or 0 at the deadline. `mapped` is when the map was seen.
  unsigned long WaitMapped(const std::string& title, Clock::time_point deadline, Clock::time_point* mapped);

  // Reads the window's pixels; false when it cannot be read (not viewable).
  bool Grab(unsigned long window, Frame* frame);

 private:
  bool HasTitle(unsigned long window, const std::string& title);

  _XDisplay* display_ = nullptr;
};

// How many pixels of two same-sized frames differ (all of them when the sizes differ).
size_t DifferentPixels(const Frame& a, const Frame& b);

}  // namespace bench
