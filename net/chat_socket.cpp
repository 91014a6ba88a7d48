#include "net/chat_socket.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/byte_buffer.h"
#include "net/host_address.h"
#include "net/line_cutter.h"
#include "net/socket_handle.h"
#include "net/tls_transport.h"

namespace velmora {

namespace {
constexpr std::size_t kReceiveChunk = 8192;
// Bytes copied out for one send call: copying the whole backlog for every partial send
// was quadratic in the backlog.
constexpr std::size_t kSendChunk = 64 * 1024;
using Clock = std::chrono::steady_clock;
using Role = SocketHandle::Role;
}  // namespace

struct ChatSocket::Impl {
  SocketHandle handle;
  std::atomic<bool> stopping{false};

  // Signalled when bytes arrive or are consumed and when the connection opens or closes.
  mutable std::mutex recv_lock;
  std::condition_variable recv_changed;
  ByteBuffer recv_buffer;
  std::atomic<std::size_t> recv_waiting{0};

  // Signalled when bytes are queued or sent and when the connection opens or closes.
  mutable std::mutex send_lock;
  std::condition_variable send_changed;
  ByteBuffer send_buffer{ByteBuffer::Growth::amortised, 2 * kMaxQueued};
  std::atomic<bool> send_overflowed{false};

  std::thread recv_thread;
  std::thread send_thread;

  // Readable once abort_connect() was called; a connect in progress waits on it too.
  int abort_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::atomic<bool> connect_aborted{false};

  mutable std::mutex failure_lock;
  std::string failure;  // why the last connect failed, when more can be said than a code
  ConnectResult result = ConnectResult::failed;

  Impl() {
    recv_thread = std::thread([this] { receive_worker(); });
    send_thread = std::thread([this] { send_worker(); });
  }

  ~Impl() {
    stopping.store(true);
    wake_all();
    recv_thread.join();
    send_thread.join();
    if (abort_fd >= 0) ::close(abort_fd);
  }

  // A blocking connect to a host that drops our SYNs takes the kernel about two
  // minutes to give up, and nothing could cut it short: closing the window then hung
  // the program that long. The socket connects non-blocking and waits here instead.
  // False with errno set to why (ETIMEDOUT when the bound passed, ECANCELED on abort).
  bool connect_within_bound(int fd, const HostAddress& remote, Clock::time_point deadline) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote.address), remote.length) == 0) {
      return true;
    }
    if (errno != EINPROGRESS) return false;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {abort_fd, POLLIN, 0}};
    for (;;) {
      if (connect_aborted.load()) return errno = ECANCELED, false;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return errno = ETIMEDOUT, false;
      const int ready = ::poll(fds, abort_fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) return errno = ETIMEDOUT, false;
      if (ready < 0 || (fds[1].revents & POLLIN)) return errno = ECANCELED, false;
      break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    errno = error;
    return error == 0;
  }

  // A connected, configured socket for one address, or -1 with errno saying why.
  int connect_one(const HostAddress& remote) {
    int fd = ::socket(remote.family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Lines go out the moment they are queued. With Nagle's algorithm a second short
    // line (the "@XKEY" right after "@XPUBLIC", a welcome right after a "names") waited
    // for the server's delayed ACK: a key exchange took 60 ms instead of 5 locally.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect_within_bound(fd, remote, Clock::now() + kConnectBound)) return fd;
    const int why = errno;
    ::close(fd);
    errno = why;
    return -1;
  }

  // The plain workers use blocking calls; a TLS session stays non-blocking, so that
  // its two workers never wait inside it.
  std::unique_ptr<Transport> secure(int fd, const std::string& host, const TlsOptions& tls,
                                    Clock::time_point deadline) {
    if (!tls.enabled) {
      const int flags = ::fcntl(fd, F_GETFL);
      if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
      return std::make_unique<PlainTransport>();
    }
    TlsTransport::Result made = TlsTransport::connect(fd, host, tls, deadline, abort_fd);
    set_failure(made.error, made.kind);
    return std::move(made.transport);
  }

  void set_failure(const std::string& text, ConnectResult kind) {
    std::lock_guard lock(failure_lock);
    failure = text;
    result = kind;
  }

  // Taking each lock before notifying means no waiter can miss a change of `handle`
  // or `stopping`, which are written outside these locks.
  void wake_all() {
    { std::lock_guard lock(recv_lock); }
    recv_changed.notify_all();
    { std::lock_guard lock(send_lock); }
    send_changed.notify_all();
  }

  // ---- receiving ----

  void receive_worker() {
    auto chunk = std::make_unique<char[]>(kReceiveChunk);
    while (wait_to_receive()) {
      SocketHandle::Lease lease = handle.lease(Role::receiver);
      if (!lease) continue;
      const ssize_t n = lease.transport->receive(lease.fd, chunk.get(), kReceiveChunk);
      if (n > 0) {
        acknowledge_at_once(lease.fd);
        store_received(chunk.get(), static_cast<std::size_t>(n));
      }
      handle.release(Role::receiver);
      if (n <= 0) end_connection(lease.generation);
    }
  }

  // Servers often send without TCP_NODELAY, so their second short line in a row (the
  // "@XKEY" right after "@XPUBLIC") waits until we acknowledge the first; our delayed
  // ACK made that 40 ms per exchange step. The kernel drops quick-ACK mode again by
  // itself, so it is asked for after every receive.
  static void acknowledge_at_once(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
  }

  // Reading pauses while kMaxWaiting bytes wait, so a flood fills the TCP window instead
  // of this process's memory.
  bool wait_to_receive() {
    std::unique_lock lock(recv_lock);
    recv_changed.wait(lock, [&] {
      return stopping.load() || (handle.is_open() && recv_buffer.waiting() < kMaxWaiting);
    });
    return !stopping.load();
  }

  void store_received(const char* bytes, std::size_t count) {
    {
      std::lock_guard lock(recv_lock);
      recv_buffer.rewind_if_empty();
      recv_buffer.append(bytes, count);
      recv_buffer.compact_if_past_half();
      recv_waiting.store(recv_buffer.waiting());
    }
    recv_changed.notify_all();
  }

  // With recv_lock held.
  void consume(std::size_t count) {
    recv_buffer.consume(count);
    recv_waiting.store(recv_buffer.waiting());
    recv_changed.notify_all();  // the receive worker may be paused at kMaxWaiting
  }

  // The server closed the connection, or receiving failed.
  void end_connection(std::uint64_t generation) {
    wait_drained(kDrainBound);
    handle.close(generation);
    wake_all();
  }

  // ---- sending ----

  void send_worker() {
    std::string pending;
    while (take_pending(pending)) {
      SocketHandle::Lease lease = handle.lease(Role::sender);
      if (!lease) continue;
      const ssize_t n = lease.transport->send(lease.fd, pending.data(), pending.size());
      handle.release(Role::sender);
      if (n > 0) {
        mark_sent(static_cast<std::size_t>(n));
      } else {
        // Nothing queued can reach this connection any more; it must not wait to drain.
        drop_queued();
        handle.close(lease.generation);
        wake_all();
      }
    }
  }

  // Copies the pending bytes, so a put_data that grows the block meanwhile cannot pull
  // the memory away from under a blocking send.
  bool take_pending(std::string& pending) {
    std::unique_lock lock(send_lock);
    send_changed.wait(lock, [&] {
      return stopping.load() || (handle.is_open() && send_buffer.waiting() > 0);
    });
    if (stopping.load()) return false;
    pending.assign(send_buffer.view().substr(0, kSendChunk));
    return true;
  }

  void mark_sent(std::size_t count) {
    {
      std::lock_guard lock(send_lock);
      send_buffer.consume(count);
      send_buffer.rewind_if_empty();
    }
    send_changed.notify_all();
  }

  void drop_queued() {
    {
      std::lock_guard lock(send_lock);
      send_buffer.clear();
    }
    send_changed.notify_all();
  }

  // A server that never reads must not grow our memory without end: past kMaxQueued
  // the connection is given up, and what it could not take is dropped.
  void queue(const char* bytes, std::size_t count) {
    bool overflow;
    {
      std::lock_guard lock(send_lock);
      overflow = send_buffer.waiting() + count > kMaxQueued;
      if (overflow) {
        send_buffer.clear();
        send_overflowed.store(true);
      } else {
        send_buffer.append(bytes, count);
      }
    }
    send_changed.notify_all();
    if (overflow) {
      handle.close();
      wake_all();
    }
  }

  // Waits until everything queued has left, the connection is gone, or `bound` passed.
  void wait_drained(std::chrono::milliseconds bound) {
    std::unique_lock lock(send_lock);
    send_changed.wait_for(lock, bound, [&] {
      return stopping.load() || !handle.is_open() || send_buffer.waiting() == 0;
    });
  }
};

ChatSocket::ChatSocket() : impl_(std::make_unique<Impl>()) {}

ChatSocket::~ChatSocket() { close(); }

namespace {

std::string connect_failure_text(const std::string& host, int error) {
  switch (error) {
    case ECONNREFUSED: return "connection refused by " + host;
    case ETIMEDOUT: return "no answer from " + host + " (timed out)";
    case ENETUNREACH:
    case EHOSTUNREACH: return host + " cannot be reached from here";
    case ECANCELED: return "connecting to " + host + " was cancelled";
    default: return "cannot connect to " + host + ": " + std::strerror(error);
  }
}

ConnectResult connect_failure_kind(int error) {
  switch (error) {
    case ECONNREFUSED: return ConnectResult::refused;
    case ETIMEDOUT: return ConnectResult::timed_out;
    case ENETUNREACH:
    case EHOSTUNREACH: return ConnectResult::unreachable;
    case ECANCELED: return ConnectResult::cancelled;
    default: return ConnectResult::failed;
  }
}

}  // namespace

int ChatSocket::connect(const std::string& host, int port) { return connect(host, port, {}); }

int ChatSocket::connect(const std::string& host, int port, const TlsOptions& tls) {
  impl_->set_failure("", ConnectResult::failed);
  const std::string name = host_name_part(host);
  const std::vector<HostAddress> addresses = resolve_host(host, port);
  if (addresses.empty()) {
    impl_->set_failure("host not found: " + name, ConnectResult::host_not_found);
    return 2;
  }
  // Every address in the resolver's order, each within the bound, until one answers.
  int fd = -1;
  int why = 0;
  for (const HostAddress& address : addresses) {
    if (impl_->connect_aborted.load()) {
      impl_->set_failure(connect_failure_text(name, ECANCELED), ConnectResult::cancelled);
      return 3;
    }
    fd = impl_->connect_one(address);
    if (fd >= 0) break;
    why = errno;
  }
  if (fd < 0) {
    impl_->set_failure(connect_failure_text(name, why), connect_failure_kind(why));
    return 3;
  }
  const auto deadline = Clock::now() + kConnectBound;
  std::unique_ptr<Transport> transport = impl_->secure(fd, name, tls, deadline);
  if (!transport) {
    ::close(fd);
    return tls.enabled ? 5 : 4;
  }
  if (!tls.enabled) impl_->set_failure("", ConnectResult::connected);
  // Output queued while closed, and unread input, carry over to this connection.
  impl_->send_overflowed.store(false);
  impl_->handle.open(fd, std::move(transport));
  impl_->wake_all();
  return 0;
}

void ChatSocket::abort_connect() {
  impl_->connect_aborted.store(true);
  if (impl_->abort_fd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(impl_->abort_fd, &one, sizeof one);
  }
}

bool ChatSocket::is_closed() const { return !impl_->handle.is_open(); }

bool ChatSocket::encrypted() const { return impl_->handle.encrypted(); }

std::string ChatSocket::failure_text() const {
  std::lock_guard lock(impl_->failure_lock);
  return impl_->failure;
}

ConnectResult ChatSocket::last_result() const {
  std::lock_guard lock(impl_->failure_lock);
  return impl_->result;
}

std::size_t ChatSocket::length() const { return impl_->recv_waiting.load(); }

int ChatSocket::get_data(char* destination, int count, bool peek) {
  if (count < 1) return 0;
  std::lock_guard lock(impl_->recv_lock);
  std::string_view waiting = impl_->recv_buffer.view();
  if (static_cast<std::size_t>(count) > waiting.size()) return 0;
  std::memcpy(destination, waiting.data(), static_cast<std::size_t>(count));
  if (!peek) impl_->consume(static_cast<std::size_t>(count));
  return count;
}

int ChatSocket::get(char* destination, int& count, int timeout_ms, bool peek) {
  if (count < 1) {
    count = 0;
    return 0;
  }
  const std::size_t wanted = static_cast<std::size_t>(count);
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  std::size_t copied = 0;
  std::unique_lock lock(impl_->recv_lock);
  for (;;) {
    std::string_view waiting = impl_->recv_buffer.view();
    if (peek) {
      // Peeking consumes nothing, so each round copies the front afresh.
      copied = std::min(wanted, waiting.size());
      std::memcpy(destination, waiting.data(), copied);
    } else {
      std::size_t n = std::min(wanted - copied, waiting.size());
      std::memcpy(destination + copied, waiting.data(), n);
      if (n > 0) impl_->consume(n);
      copied += n;
    }
    if (copied == wanted || timeout_ms < 0 || !impl_->handle.is_open()) break;
    auto more = [&] {
      return impl_->stopping.load() || !impl_->handle.is_open() ||
             impl_->recv_buffer.waiting() > (peek ? copied : 0);
    };
    if (timeout_ms == 0) {
      impl_->recv_changed.wait(lock, more);
    } else if (!impl_->recv_changed.wait_until(lock, deadline, more)) {
      break;
    }
    if (impl_->stopping.load()) break;
  }
  count = static_cast<int>(copied);
  return copied == wanted ? count : 0;
}

bool ChatSocket::discard(int count) {
  if (count < 0) return false;
  std::lock_guard lock(impl_->recv_lock);
  if (static_cast<std::size_t>(count) > impl_->recv_buffer.waiting()) return false;
  impl_->consume(static_cast<std::size_t>(count));
  return true;
}

std::string ChatSocket::get_until(std::string_view delimiter) {
  if (delimiter.empty()) return {};
  LineCutter cutter(delimiter, kMaxLine);
  std::unique_lock lock(impl_->recv_lock);
  for (;;) {
    // Taking what is waiting as it comes keeps an endless line from holding the receive
    // worker at kMaxWaiting while this waits for a delimiter that cannot arrive.
    std::size_t taken = cutter.feed(impl_->recv_buffer.view());
    if (taken > 0) impl_->consume(taken);
    if (cutter.complete() || !impl_->handle.is_open() || impl_->stopping.load()) break;
    impl_->recv_changed.wait(lock, [&] {
      return impl_->stopping.load() || !impl_->handle.is_open() ||
             impl_->recv_buffer.waiting() > 0;
    });
  }
  return cutter.line();
}

std::size_t ChatSocket::take_lines(std::string_view delimiter, std::vector<std::string>& lines,
                                   std::size_t max) {
  if (delimiter.empty()) return 0;
  std::lock_guard lock(impl_->recv_lock);
  const std::string_view waiting = impl_->recv_buffer.view();
  std::size_t used = 0;
  std::size_t taken = 0;
  while (taken < max) {
    const std::string_view rest = waiting.substr(used);
    const std::size_t at = rest.substr(0, kMaxLine + delimiter.size()).find(delimiter);
    if (at == std::string_view::npos) break;
    const std::size_t end = at + delimiter.size();
    lines.emplace_back(rest.substr(0, end));
    used += end;
    ++taken;
  }
  if (used > 0) impl_->consume(used);
  return taken;
}

bool ChatSocket::wait_for_more(std::size_t have, std::chrono::milliseconds timeout) {
  std::unique_lock lock(impl_->recv_lock);
  impl_->recv_changed.wait_for(lock, timeout, [&] {
    return impl_->stopping.load() || !impl_->handle.is_open() ||
           impl_->recv_buffer.waiting() > have;
  });
  return impl_->recv_buffer.waiting() > have;
}

bool ChatSocket::wait_closed(std::chrono::milliseconds timeout) {
  std::unique_lock lock(impl_->recv_lock);
  return impl_->recv_changed.wait_for(lock, timeout,
                                      [&] { return !impl_->handle.is_open(); });
}

int ChatSocket::put_data(const char* source, int count) {
  if (count < 1) return 0;
  impl_->queue(source, static_cast<std::size_t>(count));
  return count;
}

bool ChatSocket::put_line(std::string_view text) {
  // One append, so a line put from another thread cannot land between text and CR LF.
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  impl_->queue(line.data(), line.size());
  return true;
}

bool ChatSocket::output_overflowed() const { return impl_->send_overflowed.load(); }

int ChatSocket::close(std::chrono::milliseconds drain_bound) {
  if (is_closed()) return 0;
  // Give queued output, such as a final QUIT, the chance to reach the server.
  impl_->wait_drained(drain_bound);
  int result = impl_->handle.close();
  impl_->wake_all();
  return result;
}

std::size_t ChatSocket::recv_capacity() const {
  std::lock_guard lock(impl_->recv_lock);
  return impl_->recv_buffer.capacity();
}

std::size_t ChatSocket::send_capacity() const {
  std::lock_guard lock(impl_->send_lock);
  return impl_->send_buffer.capacity();
}

std::size_t ChatSocket::queued() const {
  std::lock_guard lock(impl_->send_lock);
  return impl_->send_buffer.waiting();
}

}  // namespace velmora
