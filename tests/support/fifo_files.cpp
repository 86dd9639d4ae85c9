#include "support/fifo_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace testsupport {

bool MakeFifo(const std::string& hostPath) { return ::mkfifo(hostPath.c_str(), 0600) == 0; }

bool FinishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& body) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::atomic<bool> released{false};
  // The body runs here (a UI thread keeps its event loop); a watchdog lets a
  // blocked open go after a few seconds. Open for reading and writing, a
  // FIFO never blocks, and it releases an open waiting for either end;
  // closing it at once then ends a read.
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (finished.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) return;
    released = true;
    while (!finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
      const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    }
  });
  body();
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  finished.notify_all();
  watchdog.join();
  return !released;
}

}  // namespace testsupport
