#pragma once
// What each IRC server a test starts has: a temporary folder for its config and logs,
// its process, and the port it listens on. The process stops (and with it the server)
// before the folder goes.

#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace velmora::test_support {

class LocalServer {
public:
  LocalServer() = default;
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  bool running() const { return ready_; }
  int port() const { return port_; }

protected:
  TempFolder folder_;
  ServerProcess process_;
  int port_ = 0;
  bool ready_ = false;
};

}  // namespace velmora::test_support
