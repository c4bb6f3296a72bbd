#include "platform/posix/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace platform {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

int readEnd = -1;
// Read by the handler, which may run on any thread at any moment: a lock-free atomic.
std::atomic<int> writeEnd{-1};
struct sigaction previous[kSignalCount];

void OnTerminationSignal(int number) {
  const int savedErrno = errno;
  const int fd = writeEnd.load();
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already says that a signal came, so a failed write is left as it is (tested,
    // not cast away, so that fortified builds accept it).
    if (::write(fd, &byte, 1) < 0) {
    }
  }
  errno = savedErrno;
}

}  // namespace

int WatchTerminationSignals() {
  static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");
  if (readEnd >= 0) return readEnd;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  readEnd = ends[0];
  writeEnd = ends[1];
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals) sigaddset(&action.sa_mask, number);
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &previous[i]);
  return readEnd;
}

int TakeTerminationSignal() {
  if (readEnd < 0) return 0;
  int last = 0;
  unsigned char bytes[16];
  for (;;) {
    const ssize_t got = ::read(readEnd, bytes, sizeof bytes);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return last;
    last = bytes[got - 1];
  }
}

void StopWatchingTerminationSignals() {
  if (readEnd < 0) return;
  // The handlers go first, so that none writes to a descriptor closed under it.
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &previous[i], nullptr);
  const int fd = writeEnd.exchange(-1);
  ::close(fd);
  ::close(readEnd);
  readEnd = -1;
}

}  // namespace platform
