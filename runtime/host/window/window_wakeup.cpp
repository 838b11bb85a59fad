#include "runtime/host/window/window_wakeup.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace {

// Written once by the window thread before the other threads can have anything to wake it for
// that it must see; read by every thread that wakes it.
std::atomic<int> wakeup_fd{-1};

}  // namespace

void window_wakeup_write() {
  const int fd = wakeup_fd.load();
  if (fd < 0) return;
  const uint64_t one = 1;
  // A full counter (never, at 2^64 - 2 wake-ups) or an interrupted write loses nothing: the
  // eventfd is readable either way.
  ssize_t ignored = write(fd, &one, sizeof one);
  static_cast<void>(ignored);
}

int window_wakeup_fd() { return wakeup_fd.load(); }

bool window_wakeup_open() {
  if (wakeup_fd.load() >= 0) return true;
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return false;
  wakeup_fd.store(fd);
  return true;
}

void window_wakeup_drain() {
  const int fd = wakeup_fd.load();
  if (fd < 0) return;
  uint64_t count = 0;
  ssize_t ignored = read(fd, &count, sizeof count);
  static_cast<void>(ignored);
}

void window_wakeup_wait() {
  pollfd source = {wakeup_fd.load(), POLLIN, 0};
  if (source.fd < 0) return;  // not made (window_wakeup_open failed): the caller looks again
  while (poll(&source, 1, -1) < 0) {
  }
  window_wakeup_drain();
}
