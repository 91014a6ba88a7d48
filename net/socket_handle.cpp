#include "net/socket_handle.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora {

SocketHandle::~SocketHandle() { close(); }

void SocketHandle::open(int fd, std::unique_ptr<Transport> transport) {
  std::unique_lock lock(lock_);
  close_locked(lock);
  ++generation_;
  transport_ = transport ? std::move(transport) : std::make_unique<PlainTransport>();
  fd_.store(fd);
}

bool SocketHandle::encrypted() const {
  std::lock_guard lock(lock_);
  return fd_.load() != -1 && transport_->encrypted();
}

SocketHandle::Lease SocketHandle::lease(Role role) {
  std::lock_guard lock(lock_);
  int fd = fd_.load();
  if (fd == -1) return {};
  leased_[static_cast<int>(role)] = generation_;
  return {fd, generation_, transport_.get()};
}

void SocketHandle::release(Role role) {
  {
    std::lock_guard lock(lock_);
    leased_[static_cast<int>(role)] = 0;
  }
  returned_.notify_all();
}

int SocketHandle::close(std::uint64_t generation) {
  std::unique_lock lock(lock_);
  if (generation != kAnyGeneration && generation != generation_) return 0;
  return close_locked(lock);
}

int SocketHandle::close_locked(std::unique_lock<std::mutex>& lock) {
  int fd = fd_.exchange(-1);
  if (fd == -1) return 0;
  // Without the shutdown a recv blocked on this descriptor would not return.
  ::shutdown(fd, SHUT_RDWR);
  std::uint64_t closing = generation_;
  returned_.wait(lock, [&] { return leased_[0] != closing && leased_[1] != closing; });
  transport_.reset();
  return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace velmora
