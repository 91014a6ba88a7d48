#pragma once
// The descriptor of a ChatSocket's connection, shared by its two workers and its callers.
//
// A worker leases the descriptor for one blocking call. Closing shuts the connection
// down (which ends those calls at once) and waits until the leases are returned before
// it releases the descriptor, so a worker never calls into a descriptor number that the
// system may already have handed to another connection. Each connection gets a new
// generation, so a worker that saw its connection fail cannot close the next one.
// The connection's transport (plain or TLS) lives exactly as long as its descriptor.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "net/transport.h"

namespace velmora {

class SocketHandle {
public:
  enum class Role { receiver = 0, sender = 1 };
  struct Lease {
    int fd = -1;
    std::uint64_t generation = 0;
    Transport* transport = nullptr;  // valid until release()
    explicit operator bool() const { return fd != -1; }
  };
  static constexpr std::uint64_t kAnyGeneration = 0;

  SocketHandle() = default;
  SocketHandle(const SocketHandle&) = delete;
  SocketHandle& operator=(const SocketHandle&) = delete;
  ~SocketHandle();

  bool is_open() const { return fd_.load() != -1; }
  // Takes ownership of a connected descriptor and its transport (plain when null),
  // closing any connection still open.
  void open(int fd, std::unique_ptr<Transport> transport = nullptr);
  bool encrypted() const;
  // The open descriptor for one call by `role`, or an empty lease when closed.
  Lease lease(Role role);
  void release(Role role);
  // Closes the connection of `generation` (or the current one): 0, or the errno of close.
  // Closing a connection that is already closed returns 0.
  int close(std::uint64_t generation = kAnyGeneration);

private:
  int close_locked(std::unique_lock<std::mutex>& lock);

  mutable std::mutex lock_;
  std::condition_variable returned_;
  std::atomic<int> fd_{-1};
  std::unique_ptr<Transport> transport_;
  std::uint64_t generation_ = 0;
  std::uint64_t leased_[2] = {0, 0};  // generation in use by each role, 0 for none
};

}  // namespace velmora
