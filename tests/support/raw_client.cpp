#include "tests/support/raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace velmora::test_support {

RawClient::RawClient(int port, const std::string& nick, const std::string& client_pem) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               (client_pem.empty() || start_tls(client_pem));
  say("NICK " + nick + "\r\nUSER " + nick + " 0 * :" + nick);
}

RawClient::~RawClient() {
  if (tls_ != nullptr) SSL_free(tls_);
  if (context_ != nullptr) SSL_CTX_free(context_);
  ::close(fd_);
}

// A blocking handshake: the socket is still blocking here, and the server is local.
bool RawClient::start_tls(const std::string& client_pem) {
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr || SSL_CTX_use_certificate_chain_file(context_, client_pem.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context_, client_pem.c_str(), SSL_FILETYPE_PEM) != 1) {
    return false;
  }
  tls_ = SSL_new(context_);
  return tls_ != nullptr && SSL_set_fd(tls_, fd_) == 1 && SSL_connect(tls_) == 1;
}

void RawClient::say(const std::string& lines) {
  if (!connected_) return;
  const std::string bytes = lines + "\r\n";
  if (tls_ != nullptr) {
    (void)SSL_write(tls_, bytes.data(), static_cast<int>(bytes.size()));
  } else {
    (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
}

bool RawClient::wait_for(const std::string& text, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (connected_ && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd_, POLLIN, 0};
    if ((tls_ == nullptr || SSL_pending(tls_) == 0) && ::poll(&ready, 1, 100) <= 0) continue;
    char buffer[65536];
    const long got = tls_ != nullptr ? SSL_read(tls_, buffer, sizeof buffer)
                                     : ::recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) {
      // A TLS record may be in flight: readable socket, nothing whole to read yet.
      if (tls_ != nullptr && SSL_get_error(tls_, static_cast<int>(got)) == SSL_ERROR_WANT_READ) continue;
      return false;
    }
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
