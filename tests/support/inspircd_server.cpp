#include "tests/support/inspircd_server.h"

#include "tests/support/ngircd_server.h"

namespace velmora::test_support {
namespace {

std::string bind_line(int port, const std::string& extra) {
  return "<bind address=\"127.0.0.1\" port=\"" + std::to_string(port) + "\" " + extra + ">\n";
}

// The modules a services link needs (spanningtree, services_account, sasl; hidechans,
// which Anope insists on) and the IRCv3 ones that put tags on lines for clients that
// ask for them.
std::string services_lines(int link_port) {
  std::string lines;
  for (const char* module : {"spanningtree", "services_account", "sasl", "hidechans", "cap", "ircv3",
                             "ircv3_servertime", "ircv3_msgid", "ircv3_ctctags"}) {
    lines += std::string("<module name=\"") + module + "\">\n";
  }
  return lines + bind_line(link_port, "type=\"servers\"") +
         "<link name=\"" + kServicesName + "\" ipaddr=\"127.0.0.1\" port=\"" +
         std::to_string(link_port) + "\" allowmask=\"127.0.0.1\" sendpass=\"" + kLinkPassword +
         "\" recvpass=\"" + kLinkPassword + "\">\n"
         "<uline server=\"" + kServicesName + "\" silent=\"yes\">\n"
         "<sasl target=\"" + kServicesName + "\">\n";
}

// sslinfo hands the client certificate's fingerprint to services (CertFP).
std::string tls_lines(int tls_port, const std::string& pem) {
  return "<module name=\"ssl_gnutls\">\n<module name=\"sslinfo\">\n"
         "<sslprofile name=\"clients\" provider=\"gnutls\" certfile=\"" + pem + "\" keyfile=\"" +
         pem + "\" hash=\"sha256\" requestclientcert=\"yes\">\n" +
         bind_line(tls_port, "type=\"clients\" sslprofile=\"clients\"");
}

}  // namespace

InspircdServer::InspircdServer(InspircdOptions options) {
  port_ = free_local_port();
  if (!options.tls_pem.empty()) tls_port_ = free_local_port();
  if (options.services) link_port_ = free_local_port();
  const std::string folder = folder_.path();
  folder_.write("motd", "Velmora test\n");
  // No host name lookups: on loopback they only hold each login up for a second.
  std::string config =
      "<server name=\"" + name() + "\" description=\"Velmora test\" network=\"Test\">\n"
      "<admin name=\"test\" nick=\"test\" email=\"test@localhost\">\n" +
      bind_line(port_, "type=\"clients\"") +
      "<connect allow=\"*\" timeout=\"60\" threshold=\"10\" pingfreq=\"120\" "
      "hardsendq=\"262144\" softsendq=\"8192\" recvq=\"8192\" localmax=\"200\" "
      "globalmax=\"200\" resolvehostnames=\"no\">\n"
      "<files motd=\"" + folder + "/motd\">\n"
      "<dns server=\"127.0.0.1\" timeout=\"1\">\n"
      "<pid file=\"" + folder + "/inspircd.pid\">\n";
  if (options.services) config += services_lines(link_port_);
  if (!options.tls_pem.empty()) config += tls_lines(tls_port_, options.tls_pem);
  folder_.write("inspircd.conf", config);
  // It will not run as root unless told; tests and CI may well be root.
  ready_ = process_.start({"/usr/sbin/inspircd", "--runasroot", "--nofork",
                           "--config=" + folder_.file("inspircd.conf")},
                          folder_.file("inspircd.log"), {port_, tls_port_, link_port_}, false, 10);
}

}  // namespace velmora::test_support
