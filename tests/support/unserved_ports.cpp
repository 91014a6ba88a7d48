#include "tests/support/unserved_ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace velmora::test_support {

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

// A socket bound to a port the kernel picks on 127.0.0.1; -1 when that failed.
int bound_socket(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = loopback(0);
  socklen_t size = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

RefusingPort::RefusingPort() { fd_ = bound_socket(port_); }

RefusingPort::~RefusingPort() {
  if (fd_ != -1) ::close(fd_);
}

SilentPort::SilentPort() {
  fd_ = bound_socket(port_);
  if (fd_ == -1 || ::listen(fd_, 0) != 0) return;
  filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(port_);
  ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

SilentPort::~SilentPort() {
  if (filler_ != -1) ::close(filler_);
  if (fd_ != -1) ::close(fd_);
}

}  // namespace velmora::test_support
