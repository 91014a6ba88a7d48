#pragma once
// A local IRC server process for one test: started with its output in a log file,
// waited for until its ports accept connections, and stopped by its PID.

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace velmora::test_support {

// True when a TCP connection to the loopback address (::1 with `ipv6`) and `port` opens.
bool port_accepts(int port, bool ipv6 = false);

class ServerProcess {
public:
  ServerProcess() = default;
  ~ServerProcess() { stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Runs `argv` (the program first, looked up on PATH) with its output appended to
  // `log`, and waits up to `bound_seconds` for every port to accept. True once they do.
  bool start(const std::vector<std::string>& argv, const std::string& log,
             std::initializer_list<int> ports, bool ipv6, int bound_seconds);
  // SIGTERM, a bounded wait, then SIGKILL.
  void stop();

private:
  pid_t pid_ = -1;
};

}  // namespace velmora::test_support
