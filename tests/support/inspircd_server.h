#pragma once
// Debian's InspIRCd, started for one test like the local ngircd: its own config in a
// temporary folder, 127.0.0.1 on a free port, Debian's default flood limits for the
// connect class, run in the foreground and stopped by its PID. InspIRCd refuses a JOIN
// before registration ends, where ngircd lets it through.

#include "tests/support/local_server.h"

namespace velmora::testing {

class InspircdServer : public LocalServer {
public:
  InspircdServer();
};

}  // namespace velmora::testing
