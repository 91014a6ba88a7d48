#pragma once
// Debian's ircd-hybrid, started for one test like the local ngircd and InspIRCd: its
// own config in a temporary folder, 127.0.0.1 on a free port, Debian's default flood
// limits, run in the foreground and stopped by its PID.
//
// Debian's package conflicts with ngircd's, so scripts/install-deps.sh unpacks it under
// kHybridRoot instead of installing it. It loads its modules from /usr/lib/ircd-hybrid,
// which install-deps.sh points at the unpacked copy: by itself before 8.2.46 (Debian 12),
// from the package's modules.conf, which the test's config takes in, since then.
// It will not run as root: as root it is started as `nobody`, owning its folder.

#include <string>

#include "tests/support/local_server.h"

namespace velmora::test_support {

inline constexpr const char* kHybridRoot = "/var/cache/velmora-test/ircd-hybrid";

class HybridServer : public LocalServer {
public:
  HybridServer();

  // Why this machine cannot run it (for GTEST_SKIP); empty when it can.
  static std::string missing();
  // What it logged, for a failure message.
  std::string log() const;
};

}  // namespace velmora::test_support
