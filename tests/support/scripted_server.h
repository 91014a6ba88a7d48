#pragma once
// A scripted server for tests, for IRC and for the socket itself: listens on 127.0.0.1
// on a port the kernel picks, accepts clients one after another, records every byte
// they send, and lets the test send bytes, stop reading, or close or reset the
// connection. Every wait is bounded.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora::test_support {

using namespace std::chrono_literals;

class ScriptedServer {
public:
  struct Options {
    std::string greeting;     // sent to each client as soon as it is accepted
    int receive_buffer = 0;   // > 0: the kernel's receive buffer of each connection
    bool reading = true;      // false: start as after stop_reading()
  };

  // `greeting` is sent to each client as soon as it is accepted (empty: say nothing).
  explicit ScriptedServer(std::string greeting = "");
  explicit ScriptedServer(Options options);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  // True once a client is connected (within the time).
  bool wait_for_client(std::chrono::milliseconds timeout = 5s);
  int clients_accepted() const;
  // True once `count` clients have been accepted in all (within the time).
  bool wait_for_clients(int count, std::chrono::milliseconds timeout = 5s);

  // Sends to the current client, waiting at most `timeout` for room; returns the
  // number of bytes sent.
  std::size_t send(std::string_view bytes, std::chrono::milliseconds timeout = 5s);
  bool send_line(std::string_view line) {  // line + CR LF
    std::string l(line);
    l += "\r\n";
    return send(l) == l.size();
  }
  bool send_all(std::string_view bytes, std::chrono::milliseconds timeout = 5s) {
    return send(bytes, timeout) == bytes.size();
  }

  std::string received() const;          // every byte received, all clients
  std::vector<std::string> lines() const;  // complete lines, CR LF or LF stripped
  // Waits until a received line equals `line`.
  bool wait_for_line(std::string_view line, std::chrono::milliseconds timeout = 5s);
  bool wait_for_line_count(std::size_t count, std::chrono::milliseconds timeout = 5s);
  // Waits until at least `count` bytes were received in all.
  bool wait_for_received(std::size_t count, std::chrono::milliseconds timeout = 5s);

  void stop_reading();    // the client's output piles up in the kernel
  void resume_reading();
  void close_client();    // closes the current connection from the server side
  void reset_client();    // the same with a reset instead of an orderly end
  // True once the current client has closed its side.
  bool wait_client_closed(std::chrono::milliseconds timeout = 5s);

private:
  void run();
  void serve_client(int fd);
  void wake();
  template <class Pred>
  bool wait(std::chrono::milliseconds timeout, Pred pred) const;

  int listen_fd_ = -1;
  int wake_pipe_[2] = {-1, -1};
  int port_ = 0;
  std::string greeting_;
  int receive_buffer_ = 0;

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  int client_fd_ = -1;  // guarded by lock_ (closed only under it)
  int accepted_ = 0;
  bool client_closed_ = false;
  bool reading_ = true;
  bool close_requested_ = false;
  bool stop_ = false;
  std::string received_;
  std::thread thread_;
};

}  // namespace velmora::test_support
