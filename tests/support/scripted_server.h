#pragma once
// A scripted IRC server for tests: listens on 127.0.0.1 on a port the kernel picks,
// accepts clients one after another, records every byte they send, and lets the test
// send bytes, stop reading, or close the connection. Every wait is bounded.

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
  // `greeting` is sent to each client as soon as it is accepted (empty: say nothing).
  explicit ScriptedServer(std::string greeting = "");
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  // True once a client is connected (within the time).
  bool wait_for_client(std::chrono::milliseconds timeout = 5s);
  int clients_accepted() const;

  // Sends to the current client, waiting at most `timeout` for room; returns the
  // number of bytes sent.
  std::size_t send(std::string_view bytes, std::chrono::milliseconds timeout = 5s);
  bool send_line(std::string_view line) {  // line + CR LF
    std::string l(line);
    l += "\r\n";
    return send(l) == l.size();
  }

  std::string received() const;          // every byte received, all clients
  std::vector<std::string> lines() const;  // complete lines, CR LF or LF stripped
  // Waits until a received line equals `line`.
  bool wait_for_line(std::string_view line, std::chrono::milliseconds timeout = 5s);
  bool wait_for_line_count(std::size_t count, std::chrono::milliseconds timeout = 5s);

  void stop_reading();    // the client's output piles up in the kernel
  void resume_reading();
  void close_client();    // closes the current connection from the server side
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
