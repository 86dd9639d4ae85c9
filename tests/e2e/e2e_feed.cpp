// quillon-e2e-feed FILE FIFO BYTES_PER_SECOND: writes FILE into FIFO at real
// time, 20 ms at a time, each chunk at its moment from the start, as a
// microphone delivers its samples whoever reads them: a chunk the pipe has
// no room for when it is due is lost, never delivered late. Then ends.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: quillon-e2e-feed FILE FIFO BYTES_PER_SECOND\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const long perSecond = std::atol(argv[3]);
  const int fd = open(argv[2], O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 || perSecond <= 0) {
    std::perror(argv[2]);
    return 1;
  }
  const size_t chunk = static_cast<size_t>(perSecond / 50);
  const auto start = std::chrono::steady_clock::now();
  for (size_t done = 0; done < bytes.size();) {
    const size_t want = std::min(chunk, bytes.size() - done);
    const ssize_t n = write(fd, bytes.data() + done, want);
    if (n < 0 && errno != EAGAIN) return 1;
    done += n > 0 ? static_cast<size_t>(n) : want;
    std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<long long>(done) * 1000000 / perSecond));
  }
  close(fd);
  return 0;
}
