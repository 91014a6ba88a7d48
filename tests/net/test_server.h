#pragma once
// A small TCP server on 127.0.0.1 for socket tests: the kernel picks the port, each
// accepted connection is a TestPeer that the test drives by hand. Every wait is bounded.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::test_support {

using std::chrono::milliseconds;

class TestPeer {
public:
  explicit TestPeer(int fd) : fd_(fd) {}
  TestPeer(TestPeer&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TestPeer& operator=(TestPeer&&) = delete;
  ~TestPeer() { close(); }

  int fd() const { return fd_; }
  bool send_all(std::string_view bytes);
  // Reads until `count` bytes arrived, the client closed, or `timeout` passed.
  std::string read_exactly(std::size_t count, milliseconds timeout = milliseconds(2000));
  // Reads until the text ends with `delimiter`, the client closed, or `timeout` passed.
  std::string read_until(std::string_view delimiter, milliseconds timeout = milliseconds(2000));
  // True when the client closed its end within `timeout` (bytes before the end are dropped).
  bool wait_for_end(milliseconds timeout = milliseconds(2000));
  void close();
  // Closes with a reset instead of an orderly end.
  void reset();

private:
  int fd_;
};

class TestServer {
public:
  // `receive_buffer` > 0 makes accepted connections' kernel receive buffer that small.
  explicit TestServer(int receive_buffer = 0);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  std::optional<TestPeer> accept(milliseconds timeout = milliseconds(2000));

private:
  int fd_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens; it stays reserved while the object lives.
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
