#pragma once
// Ports on 127.0.0.1 where no server answers, for connect tests. Each stays reserved
// while its object lives, so no other test can take it meanwhile.

namespace velmora::test_support {

// Bound but not listening: a connect is refused at once.
class RefusingPort {
public:
  RefusingPort();
  ~RefusingPort();
  int port() const { return port_; }

private:
  int fd_ = -1;
  int port_ = 0;
};

// A port whose one-place accept queue is already full and never drained: the kernel
// drops further connection attempts, so a connect to it neither succeeds nor fails.
class SilentPort {
public:
  SilentPort();
  ~SilentPort();
  int port() const { return port_; }

private:
  int fd_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

}  // namespace velmora::test_support
