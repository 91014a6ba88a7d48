#include "tests/support/hybrid_server.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/ngircd_server.h"

namespace velmora::test_support {
namespace {

std::string binary() {
  const std::string unpacked = std::string(kHybridRoot) + "/usr/sbin/ircd-hybrid";
  return ::access(unpacked.c_str(), X_OK) == 0 ? unpacked : "/usr/sbin/ircd-hybrid";
}

// From 8.2.46 on, ircd-hybrid loads only the modules its config names, with the
// `loadmodule` lines of the package's modules.conf; earlier versions load every core
// module by themselves and have no such file. The package's list is taken as it is.
std::string module_lines() {
  const std::string modules_conf = std::string(kHybridRoot) + "/etc/ircd-hybrid/modules.conf";
  std::ifstream file(binary() == "/usr/sbin/ircd-hybrid" ? "/etc/ircd-hybrid/modules.conf"
                                                         : modules_conf);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Debian's /etc/ircd-hybrid/ircd.conf as far as a client's pace is concerned: the
// users class (recvq 2560 bytes, sendq 100 kB) and the message flood limits (10 lines
// a second to one target). Every test client comes from 127.0.0.1, where on a network
// they come from many addresses, so the per-address and reconnect throttles are opened.
std::string config_text(int port, const std::string& folder) {
  return "serverinfo { name = \"irc.hybrid.test\"; description = \"Velmora test\";\n"
         "  network_name = \"Test\"; hub = no; default_max_clients = 512;\n"
         "  max_nick_length = 15; max_topic_length = 300; };\n"
         "admin { name = \"test\"; description = \"test\"; email = \"<test@localhost>\"; };\n"
         "class { name = \"users\"; ping_time = 90 seconds;\n"
         "  number_per_ip_local = 200; number_per_ip_global = 200; max_number = 200;\n"
         "  sendq = 100 kbytes; recvq = 2560 bytes; };\n"
         "listen { host = \"127.0.0.1\"; port = " + std::to_string(port) + "; };\n"
         "auth { user = \"*@*\"; class = \"users\"; };\n"
         "channel { default_join_flood_count = 18; default_join_flood_time = 6 seconds; };\n"
         "general { disable_auth = yes; default_floodcount = 10; default_floodtime = 1 second;\n"
         "  throttle_count = 200; throttle_time = 2 seconds; };\n"
         "motd { mask = \"*\"; file = \"" + folder + "/ircd.motd\"; };\n" +
         module_lines();
}

// Root gets `setpriv` in front, running it as nobody; the folder becomes nobody's so
// that it can write its log, PID and ban files there.
std::vector<std::string> as_unprivileged(const std::string& folder, std::vector<std::string> argv) {
  if (::geteuid() != 0) return argv;
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr) return argv;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    (void)!::chown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid);
  (void)!::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid);
  argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                             "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"});
  return argv;
}

}  // namespace

std::string HybridServer::missing() {
  if (::access(binary().c_str(), X_OK) != 0)
    return "ircd-hybrid is not unpacked under " + std::string(kHybridRoot) +
           " (scripts/install-deps.sh fetches it)";
  if (::access("/usr/lib/ircd-hybrid/modules/m_join.la", R_OK) != 0)
    return "ircd-hybrid's modules are not in /usr/lib/ircd-hybrid/modules "
           "(scripts/install-deps.sh links them there)";
  return {};
}

HybridServer::HybridServer() {
  if (!missing().empty()) return;
  port_ = free_local_port();
  const std::string folder = folder_.path();
  folder_.write("ircd.motd", "Velmora test\n");
  folder_.write("ircd.conf", config_text(port_, folder));
  std::vector<std::string> argv = {binary(), "-foreground", "-configfile", folder + "/ircd.conf",
                                   "-logfile", folder + "/ircd.log", "-pidfile", folder + "/ircd.pid"};
  for (const char* list : {"kline", "dline", "xline", "resv"})
    argv.insert(argv.end(), {std::string("-") + list + "file", folder + "/" + list + ".db"});
  ready_ = process_.start(as_unprivileged(folder, argv), folder_.file("output.log"), {port_},
                          false, 10);
}

std::string HybridServer::log() const {
  return folder_.read("output.log") + folder_.read("ircd.log");
}

}  // namespace velmora::test_support
