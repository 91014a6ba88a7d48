#pragma once
// Debian's InspIRCd, started for one test like the local ngircd: its own config in a
// temporary folder, 127.0.0.1 on a free port, Debian's default flood limits for the
// connect class, run in the foreground and stopped by its PID. InspIRCd refuses a JOIN
// before registration ends, where ngircd lets it through.

#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace velmora::test_support {

class InspircdServer {
public:
  InspircdServer();
  // Stopped by its PID: SIGTERM, a bounded wait, then SIGKILL.
  InspircdServer(const InspircdServer&) = delete;
  InspircdServer& operator=(const InspircdServer&) = delete;

  bool running() const { return ready_; }
  int port() const { return port_; }

private:
  TempFolder folder_;
  ServerProcess process_;
  int port_ = 0;
  bool ready_ = false;
};

}  // namespace velmora::test_support
