#pragma once
// Debian's ircd-hybrid, started for one test like the local ngircd and InspIRCd: its
// own config in a temporary folder, 127.0.0.1 on a free port, Debian's default flood
// limits, run in the foreground and stopped by its PID.
//
// Debian's package conflicts with ngircd's, so scripts/install-deps.sh unpacks it under
// kHybridRoot instead of installing it. It loads its core modules only from the
// compiled-in /usr/lib/ircd-hybrid, which install-deps.sh points at the unpacked copy.
// It will not run as root: as root it is started as `nobody`, owning its folder.

#include <string>

#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace velmora::testing {

inline constexpr const char* kHybridRoot = "/var/cache/velmora-test/ircd-hybrid";

class HybridServer {
public:
  HybridServer();
  HybridServer(const HybridServer&) = delete;
  HybridServer& operator=(const HybridServer&) = delete;

  // Why this machine cannot run it (for GTEST_SKIP); empty when it can.
  static std::string missing();

  bool running() const { return ready_; }
  int port() const { return port_; }
  // What it logged, for a failure message.
  std::string log() const;

private:
  TempFolder folder_;
  ServerProcess process_;
  int port_ = 0;
  bool ready_ = false;
};

}  // namespace velmora::testing
