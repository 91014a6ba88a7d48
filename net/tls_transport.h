#pragma once
// A TLS client session over a connected TCP descriptor (OpenSSL).
//
// The session is used by the receive worker and the send worker at once, and OpenSSL
// allows one thread in a session at a time: every call into it holds one lock, the
// descriptor is non-blocking, and a call that must wait for the network drops the lock
// and waits in poll(), so a blocked read never holds back a write.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "net/connect_result.h"
#include "net/tls_options.h"
#include "net/transport.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace velmora {

class TlsTransport final : public Transport {
public:
  using Deadline = std::chrono::steady_clock::time_point;
  struct Result {
    std::unique_ptr<TlsTransport> transport;  // null when it failed
    std::string error;                        // the user's words for the failure
    // Why it failed: a refused certificate stops the trying, a cut handshake does not.
    ConnectResult kind = ConnectResult::tls_setup_failed;
  };
  // The handshake on connected, non-blocking `fd`: it fails at `deadline` or as soon as
  // `abort_fd` (an eventfd, or -1) becomes readable. `host` is sent as the server name
  // and checked against the certificate unless `options` say otherwise.
  static Result connect(int fd, const std::string& host, const TlsOptions& options,
                        Deadline deadline, int abort_fd);

  ~TlsTransport() override;
  ssize_t receive(int fd, char* destination, std::size_t count) override;
  ssize_t send(int fd, const char* source, std::size_t count) override;
  bool encrypted() const override { return true; }

private:
  TlsTransport(SSL_CTX* context, SSL* session);
  // Waits until `fd` is ready for `events` or shut down; the `reader` also wakes when
  // the other worker left bytes in the session that a read must take.
  bool wait_ready(int fd, short events, bool reader);
  void wake_reader_if_pending();

  std::mutex lock_;
  SSL_CTX* context_;
  SSL* session_;
  int pending_fd_;  // eventfd: readable when a write left input in the session
};

}  // namespace velmora
