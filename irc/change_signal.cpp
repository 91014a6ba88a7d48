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

// Reads the eventfd even when the flag was down: a raiser may have set the flag, lost
// it to an earlier drain and only then written, and that write must not leave the
// descriptor readable for good.
void ChangeSignal::drain() {
  raised_.exchange(false, std::memory_order_acq_rel);
  if (fd_ < 0) return;
  std::uint64_t count;
  [[maybe_unused]] const ssize_t ignored = ::read(fd_, &count, sizeof count);
}

}  // namespace velmora
