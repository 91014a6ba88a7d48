#include "tests/support/inspircd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/ngircd_server.h"

namespace velmora::testing {
namespace {

bool accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

InspircdServer::InspircdServer() {
  port_ = free_local_port();
  const std::string folder = folder_.path();
  folder_.write("motd", "Velmora test\n");
  folder_.write("inspircd.conf",
                "<server name=\"irc.inspircd.test\" description=\"Velmora test\" network=\"Test\">\n"
                "<admin name=\"test\" nick=\"test\" email=\"test@localhost\">\n"
                "<bind address=\"127.0.0.1\" port=\"" + std::to_string(port_) + "\" type=\"clients\">\n"
                "<connect allow=\"*\" timeout=\"60\" threshold=\"10\" pingfreq=\"120\" "
                "hardsendq=\"262144\" softsendq=\"8192\" recvq=\"8192\" localmax=\"100\" "
                "globalmax=\"100\">\n"
                "<files motd=\"" + folder + "/motd\">\n"
                "<dns server=\"127.0.0.1\" timeout=\"1\">\n"
                "<pid file=\"" + folder + "/inspircd.pid\">\n");
  const std::string config = "--config=" + folder_.file("inspircd.conf");
  const std::string log = folder_.file("inspircd.log");
  pid_ = ::fork();
  if (pid_ == 0) {
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    // It will not run as root unless told; tests and CI may well be root.
    ::execl("/usr/sbin/inspircd", "inspircd", "--runasroot", "--nofork", config.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (accepts(port_)) {
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

InspircdServer::~InspircdServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace velmora::testing
