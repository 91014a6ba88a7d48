#include "tests/support/inspircd_server.h"

#include "tests/support/ngircd_server.h"

namespace velmora::test_support {

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
  // It will not run as root unless told; tests and CI may well be root.
  ready_ = process_.start({"/usr/sbin/inspircd", "--runasroot", "--nofork",
                           "--config=" + folder_.file("inspircd.conf")},
                          folder_.file("inspircd.log"), {port_}, false, 10);
}

}  // namespace velmora::test_support
