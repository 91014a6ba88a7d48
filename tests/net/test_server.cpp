#include "tests/net/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora::test_support {

namespace {

using Clock = std::chrono::steady_clock;

int bound_socket(int receive_buffer, int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (receive_buffer > 0)
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

// Waits for `events` on `fd` until `deadline`; false on time-out.
bool wait_for(int fd, short events, Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  if (left < 0) left = 0;
  pollfd entry{fd, events, 0};
  return ::poll(&entry, 1, static_cast<int>(left)) > 0;
}

}  // namespace

bool TestPeer::send_all(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string TestPeer::read_exactly(std::size_t count, milliseconds timeout) {
  std::string got;
  auto deadline = Clock::now() + timeout;
  char chunk[8192];
  while (got.size() < count && wait_for(fd_, POLLIN, deadline)) {
    ssize_t n = ::recv(fd_, chunk, std::min(sizeof chunk, count - got.size()), 0);
    if (n <= 0) break;
    got.append(chunk, static_cast<std::size_t>(n));
  }
  return got;
}

std::string TestPeer::read_until(std::string_view delimiter, milliseconds timeout) {
  std::string got;
  auto deadline = Clock::now() + timeout;
  char byte;
  while (!got.ends_with(delimiter) && wait_for(fd_, POLLIN, deadline)) {
    if (::recv(fd_, &byte, 1, 0) != 1) break;
    got.push_back(byte);
  }
  return got;
}

bool TestPeer::wait_for_end(milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  char chunk[8192];
  while (wait_for(fd_, POLLIN, deadline)) {
    if (::recv(fd_, chunk, sizeof chunk, 0) <= 0) return true;
  }
  return false;
}

void TestPeer::close() {
  if (fd_ != -1) ::close(fd_);
  fd_ = -1;
}

void TestPeer::reset() {
  linger hard{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close();
}

TestServer::TestServer(int receive_buffer) {
  fd_ = bound_socket(receive_buffer, port_);
  if (fd_ != -1) ::listen(fd_, 8);
}

TestServer::~TestServer() {
  if (fd_ != -1) ::close(fd_);
}

std::optional<TestPeer> TestServer::accept(milliseconds timeout) {
  if (fd_ == -1 || !wait_for(fd_, POLLIN, Clock::now() + timeout)) return std::nullopt;
  int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (peer < 0) return std::nullopt;
  return TestPeer(peer);
}

RefusingPort::RefusingPort() { fd_ = bound_socket(0, port_); }

RefusingPort::~RefusingPort() {
  if (fd_ != -1) ::close(fd_);
}

SilentPort::SilentPort() {
  fd_ = bound_socket(0, port_);
  if (fd_ == -1 || ::listen(fd_, 0) != 0) return;
  filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port_));
  ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

SilentPort::~SilentPort() {
  if (filler_ != -1) ::close(filler_);
  if (fd_ != -1) ::close(fd_);
}

}  // namespace velmora::test_support
