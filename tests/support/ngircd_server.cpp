#include "tests/support/ngircd_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace velmora::test_support {
namespace {

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

NgircdServer::NgircdServer(NgircdOptions options) : ipv6_(options.ipv6) {
  port_ = free_local_port();
  if (!options.tls_pem.empty()) {
    do tls_port_ = free_local_port();
    while (tls_port_ == port_);
  }
  folder_.write("ngircd.conf", config_text(port_, tls_port_, options));
  start();
}

void NgircdServer::start() {
  ready_ = process_.start({"ngircd", "-n", "-f", folder_.file("ngircd.conf")},
                          folder_.file("ngircd.log"), {port_, tls_port_}, ipv6_, 10);
}

void NgircdServer::stop() { process_.stop(); }

bool NgircdServer::restart() {
  stop();
  start();
  return ready_;
}

NgircdServer::~NgircdServer() = default;

}  // namespace velmora::test_support
