#pragma once
// Debian's ngircd, started for one test: its own config in a temporary folder,
// listening on 127.0.0.1 on a free port, no penalty delays (unless asked), no limit
// of connections per address, run in the foreground and
// stopped by its PID. The constructor returns once the port accepts connections.

#include <string>
#include <sys/types.h>

#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace velmora::test_support {

struct NgircdOptions {
  int ping_timeout = 0;    // seconds; 0 keeps ngircd's default (the minimum is 5)
  std::string password;    // server password; empty for none
  std::string tls_pem;     // certificate and key for a TLS port as well; empty for none
  bool penalties = false;  // ngircd's own flood penalties, as a real network has them
  bool ipv6 = false;       // listen on ::1 only instead of 127.0.0.1
};

class NgircdServer {
public:
  explicit NgircdServer(NgircdOptions options = {});
  ~NgircdServer();  // SIGTERM, bounded wait, then SIGKILL
  NgircdServer(const NgircdServer&) = delete;
  NgircdServer& operator=(const NgircdServer&) = delete;

  bool running() const { return ready_; }
  int port() const { return port_; }
  int tls_port() const { return tls_port_; }  // 0 without a TLS port
  static constexpr const char* kName = "irc.velmora.test";

  // Stops the server and starts it again on the same ports, as a restart on a real
  // network; true once it accepts connections again.
  bool restart();

private:
  static constexpr int kPortAttempts = 3;
  static constexpr int kReadyBound = 30;  // seconds
  void start();
  void stop();

  TempFolder folder_;
  bool ipv6_ = false;
  ServerProcess process_;
  int port_ = 0;
  int tls_port_ = 0;
  bool ready_ = false;
};

// A port the kernel just handed out on 127.0.0.1 (closed again, so briefly free).
int free_local_port();

}  // namespace velmora::test_support
