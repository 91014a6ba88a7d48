#pragma once
// How a ChatSocket's workers move bytes over a connected descriptor: plain TCP or a TLS
// session. The receive worker calls receive() and the send worker calls send(), both
// at the same time; each call waits until it made progress, and ends (0 or -1) once the
// descriptor is shut down.

#include <cstddef>
#include <sys/types.h>

namespace velmora {

class Transport {
public:
  virtual ~Transport() = default;
  // Bytes read (> 0), 0 when the peer closed, -1 on failure.
  virtual ssize_t receive(int fd, char* destination, std::size_t count) = 0;
  // Bytes written (> 0), or -1 on failure.
  virtual ssize_t send(int fd, const char* source, std::size_t count) = 0;
  virtual bool encrypted() const { return false; }
};

class PlainTransport final : public Transport {
public:
  ssize_t receive(int fd, char* destination, std::size_t count) override;
  ssize_t send(int fd, const char* source, std::size_t count) override;
};

}  // namespace velmora
