#include "net/transport.h"

#include <cerrno>
#include <sys/socket.h>

namespace velmora {

ssize_t PlainTransport::receive(int fd, char* destination, std::size_t count) {
  ssize_t n;
  do {
    n = ::recv(fd, destination, count, 0);
  } while (n < 0 && errno == EINTR);
  return n;
}

ssize_t PlainTransport::send(int fd, const char* source, std::size_t count) {
  ssize_t n;
  do {
    n = ::send(fd, source, count, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace velmora
