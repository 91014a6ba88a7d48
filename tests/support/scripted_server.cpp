#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora::test_support {

ScriptedServer::ScriptedServer(std::string greeting) : ScriptedServer(Options{std::move(greeting)}) {}

ScriptedServer::ScriptedServer(Options options)
    : greeting_(std::move(options.greeting)), receive_buffer_(options.receive_buffer),
      reading_(options.reading) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (receive_buffer_ > 0) {  // accepted connections inherit it
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer_, sizeof receive_buffer_);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listen_fd_, 4);
  socklen_t length = sizeof address;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  if (::pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe_[0] = wake_pipe_[1] = -1;
  thread_ = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake();
  thread_.join();
  ::close(listen_fd_);
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
}

void ScriptedServer::wake() {
  char byte = 1;
  ssize_t ignored = ::write(wake_pipe_[1], &byte, 1);
  (void)ignored;
}

template <class Pred>
bool ScriptedServer::wait(std::chrono::milliseconds timeout, Pred pred) const {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, timeout, pred);
}

void ScriptedServer::run() {
  while (true) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (stop_) return;
    }
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    ::poll(fds, 2, -1);
    char drain[64];
    while (::read(wake_pipe_[0], drain, sizeof drain) > 0) {}
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    serve_client(fd);
  }
}

void ScriptedServer::serve_client(int fd) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    client_fd_ = fd;
    ++accepted_;
    client_closed_ = false;
    close_requested_ = false;
  }
  changed_.notify_all();
  if (!greeting_.empty()) send(greeting_);
  char chunk[65536];
  while (true) {
    bool reading;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (stop_ || close_requested_) break;
      reading = reading_;
    }
    // While not reading, only the wake pipe is watched: a client that hung up would
    // otherwise make poll() return at once, again and again.
    pollfd fds[2] = {{wake_pipe_[0], POLLIN, 0}, {fd, POLLIN, 0}};
    ::poll(fds, reading ? 2 : 1, -1);
    char drain[64];
    while (::read(wake_pipe_[0], drain, sizeof drain) > 0) {}
    if (!reading || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    std::lock_guard<std::mutex> hold(lock_);
    if (n <= 0) {
      client_closed_ = true;
      changed_.notify_all();
      break;
    }
    received_.append(chunk, static_cast<std::size_t>(n));
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> hold(lock_);
  ::close(fd);
  client_fd_ = -1;
  client_closed_ = true;
  changed_.notify_all();
}

bool ScriptedServer::wait_for_client(std::chrono::milliseconds timeout) {
  return wait(timeout, [this] { return client_fd_ >= 0; });
}

int ScriptedServer::clients_accepted() const {
  std::lock_guard<std::mutex> hold(lock_);
  return accepted_;
}

bool ScriptedServer::wait_for_clients(int count, std::chrono::milliseconds timeout) {
  return wait(timeout, [this, count] { return accepted_ >= count; });
}

std::size_t ScriptedServer::send(std::string_view bytes, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    std::unique_lock<std::mutex> hold(lock_);
    if (client_fd_ < 0) break;
    ssize_t n = ::send(client_fd_, bytes.data() + sent, bytes.size() - sent,
                       MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    // Full: wait for room without holding the lock, at most until the deadline.
    int fd = client_fd_;
    hold.unlock();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd out{fd, POLLOUT, 0};
    ::poll(&out, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
  }
  return sent;
}

std::string ScriptedServer::received() const {
  std::lock_guard<std::mutex> hold(lock_);
  return received_;
}

std::vector<std::string> ScriptedServer::lines() const {
  std::string all = received();
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t lf = all.find('\n'); lf != std::string::npos; lf = all.find('\n', start)) {
    std::string line = all.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    start = lf + 1;
  }
  return out;
}

bool ScriptedServer::wait_for_line(std::string_view line, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> hold(lock_);
  while (true) {
    std::string needle = "\n" + std::string(line);
    std::string all = "\n" + received_;
    for (std::size_t at = all.find(needle); at != std::string::npos;
         at = all.find(needle, at + 1)) {
      std::size_t end = at + needle.size();
      if (all.compare(end, 2, "\r\n") == 0 || all.compare(end, 1, "\n") == 0) return true;
    }
    if (changed_.wait_until(hold, deadline) == std::cv_status::timeout) return false;
  }
}

bool ScriptedServer::wait_for_line_count(std::size_t count, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (lines().size() < count) {
    std::unique_lock<std::mutex> hold(lock_);
    if (changed_.wait_until(hold, deadline) == std::cv_status::timeout) {
      hold.unlock();
      return lines().size() >= count;
    }
  }
  return true;
}

bool ScriptedServer::wait_for_received(std::size_t count, std::chrono::milliseconds timeout) {
  return wait(timeout, [this, count] { return received_.size() >= count; });
}

void ScriptedServer::stop_reading() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    reading_ = false;
  }
  wake();
}

void ScriptedServer::resume_reading() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    reading_ = true;
  }
  wake();
}

void ScriptedServer::close_client() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    close_requested_ = true;
  }
  wake();
  wait(5s, [this] { return client_fd_ < 0; });
}

void ScriptedServer::reset_client() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (client_fd_ >= 0) {
      linger hard{1, 0};  // closing now sends a reset
      ::setsockopt(client_fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
  }
  close_client();
}

bool ScriptedServer::wait_client_closed(std::chrono::milliseconds timeout) {
  return wait(timeout, [this] { return client_closed_; });
}

}  // namespace velmora::test_support
