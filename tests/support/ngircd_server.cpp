#include "tests/support/ngircd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace velmora::testing {
namespace {

bool port_accepts(int port, bool ipv6) {
  int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  sockaddr_in6 address6{};
  address6.sin6_family = AF_INET6;
  address6.sin6_addr = in6addr_loopback;
  address6.sin6_port = address.sin_port;
  const bool ok = ipv6 ? ::connect(fd, reinterpret_cast<sockaddr*>(&address6), sizeof address6) == 0
                       : ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::string config_text(int port, int tls_port, const NgircdOptions& options) {
  std::string text =
      "[Global]\n"
      "Name = " + std::string(NgircdServer::kName) + "\n"
      "Info = Velmora test server\n"
      "Listen = " + std::string(options.ipv6 ? "::1" : "127.0.0.1") + "\n"
      "Ports = " + std::to_string(port) + "\n"
      "MotdPhrase = Velmora test\n";
  if (!options.password.empty()) text += "Password = " + options.password + "\n";
  text += "[Limits]\nMaxConnectionsIP = 0\n";
  if (!options.penalties) text += "MaxPenaltyTime = 0\n";
  if (options.ping_timeout > 0) {
    text += "PingTimeout = " + std::to_string(options.ping_timeout) + "\n";
  }
  text += "[Options]\nPAM = no\nIdent = no\nDNS = no\n";
  if (tls_port > 0) {
    text += "[SSL]\nCertFile = " + options.tls_pem + "\nKeyFile = " + options.tls_pem +
            "\nPorts = " + std::to_string(tls_port) + "\n";
  }
  return text;
}

}  // namespace

int free_local_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

NgircdServer::NgircdServer(NgircdOptions options) {
  port_ = free_local_port();
  if (!options.tls_pem.empty()) {
    do tls_port_ = free_local_port();
    while (tls_port_ == port_);
  }
  folder_.write("ngircd.conf", config_text(port_, tls_port_, options));
  std::string config = folder_.file("ngircd.conf");
  std::string log = folder_.file("ngircd.log");
  pid_ = ::fork();
  if (pid_ == 0) {
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::execlp("ngircd", "ngircd", "-n", "-f", config.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) return;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    if (port_accepts(port_, options.ipv6) && (tls_port_ == 0 || port_accepts(tls_port_, options.ipv6))) {
      ready_ = true;
      return;
    }
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

NgircdServer::~NgircdServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace velmora::testing
