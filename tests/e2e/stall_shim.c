/* LD_PRELOAD shim: one write of a recording takes its time, as a disk that
 * stalls does. The QUILLON_STALL_AT-th write (write or pwrite, default 40)
 * to a file whose name holds ".wav" (a recording, or the temporary file one
 * is written under) sleeps QUILLON_STALL_MS (default 2000)
 * before it goes through; every other write goes through at once. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static atomic_int writes;

static int IsRecording(int fd) {
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n < 4) return 0;
  path[n] = '\0';
  const char* name = strrchr(path, '/');
  return strstr(name != NULL ? name : path, ".wav") != NULL;
}

static void MaybeStall(int fd) {
  if (!IsRecording(fd)) return;
  const char* at = getenv("QUILLON_STALL_AT");
  const char* ms = getenv("QUILLON_STALL_MS");
  const int stallAt = at != NULL ? atoi(at) : 40;
  const long stallMs = ms != NULL ? atol(ms) : 2000;
  if (atomic_fetch_add(&writes, 1) + 1 != stallAt) return;
  struct timespec pause = {stallMs / 1000, (stallMs % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0) {
  }
  /* Said after the stall, so that a script can tell it took place. */
  static const char said[] = "quillon-stall-shim: held a write of the recording\n";
  static ssize_t (*real)(int, const void*, size_t);
  if (real == NULL) real = (ssize_t (*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  real(2, said, sizeof said - 1);
}

ssize_t write(int fd, const void* data, size_t size) {
  static ssize_t (*real)(int, const void*, size_t);
  if (real == NULL) real = (ssize_t (*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  MaybeStall(fd);
  return real(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (real == NULL) real = (ssize_t (*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
  MaybeStall(fd);
  return real(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (real == NULL) real = (ssize_t (*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite64");
  MaybeStall(fd);
  return real(fd, data, size, offset);
}
