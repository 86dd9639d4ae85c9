#include "support/special_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

namespace testsupport {

bool MakeFifo(const std::string& hostPath) { return ::mkfifo(hostPath.c_str(), 0600) == 0; }

bool FinishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& body) {
  std::future<void> done = std::async(std::launch::async, body);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
    done.get();
    return true;
  }
  // Open for reading and writing, a FIFO never blocks, and it releases an
  // open waiting for either end; closing it then ends a read at once.
  for (int attempt = 0; attempt < 100 && done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready;
       ++attempt) {
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  done.wait();
  return false;
}

}  // namespace testsupport
