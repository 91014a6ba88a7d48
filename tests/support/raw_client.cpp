#include "tests/support/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace velmora::test_support {

RawClient::RawClient(int port, const std::string& nick) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  say("NICK " + nick + "\r\nUSER " + nick + " 0 * :" + nick);
}

RawClient::~RawClient() { ::close(fd_); }

void RawClient::say(const std::string& lines) {
  const std::string bytes = lines + "\r\n";
  (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

bool RawClient::wait_for(const std::string& text, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char buffer[65536];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    seen_.append(buffer, static_cast<std::size_t>(got));
    if (seen_.find(text) != std::string::npos) return true;
    if (seen_.size() > (1u << 20)) seen_.erase(0, seen_.size() - 4096);  // bounded
  }
  return false;
}

std::string RawClient::read_line(std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    if (const std::size_t end = unread_.find("\r\n"); end != std::string::npos) {
      std::string line = unread_.substr(0, end);
      unread_.erase(0, end + 2);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(std::min<long>(left.count(), 100))) <= 0) continue;
    char buffer[65536];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) return {};
    unread_.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace velmora::test_support
