#include "net/tls_transport.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "net/tls_verify.h"

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

// One record per call. ngircd 26.1 (GnuTLS) reads a record in 4 KiB pieces and does not
// come back for the rest until more bytes reach its socket: 100 queued lines sent as
// one 16 KiB record reached it as 16 until the next PING. Records of at most two IRC
// lines are read whole.
constexpr std::size_t kMaxRecord = 1024;

// OpenSSL's own socket BIO writes with write(), and a peer that went away would raise
// SIGPIPE and end the program; this one sends with MSG_NOSIGNAL like the plain path.
int fd_of(BIO* bio) { return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio))); }

int bio_write(BIO* bio, const char* data, int length) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = ::send(fd_of(bio), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int bio_read(BIO* bio, char* data, int length) {
  BIO_clear_retry_flags(bio);
  ssize_t n;
  do {
    n = ::recv(fd_of(bio), data, static_cast<std::size_t>(length), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long bio_ctrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bio_create(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* socket_method() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "velmora socket");
    BIO_meth_set_write(m, bio_write);
    BIO_meth_set_read(m, bio_read);
    BIO_meth_set_ctrl(m, bio_ctrl);
    BIO_meth_set_create(m, bio_create);
    return m;
  }();
  return method;
}

std::string library_error(const char* fallback) {
  unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  const char* reason = code ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : fallback;
}

bool is_address(const std::string& host) {
  unsigned char bytes[16];
  return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

// The hashed certificate folder is read one issuer at a time, as a handshake needs it;
// the bundle file held every authority in memory: 1.4 MiB more per connected client.
bool load_system_trust(SSL_CTX* context) {
  const char* variable = X509_get_default_cert_dir_env();
  const char* folder = std::getenv(variable) ? std::getenv(variable) : X509_get_default_cert_dir();
  if (::access(folder, R_OK | X_OK) == 0) return SSL_CTX_set_default_verify_dir(context) == 1;
  return SSL_CTX_set_default_verify_paths(context) == 1;
}

SSL_CTX* make_context(const TlsOptions& options, std::string& error) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (!context) {
    error = "TLS: cannot start: " + library_error("out of memory");
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION);
  // A send that had to wait is repeated from a copy of the queue, so the buffer moves.
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // The result is read after the handshake, where a refusal gets its words.
  SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
  const bool trust_loaded =
      options.trust_file.empty()
          ? load_system_trust(context)
          : SSL_CTX_load_verify_locations(context, options.trust_file.c_str(), nullptr) == 1;
  if (!trust_loaded && options.verify && options.fingerprint.empty()) {
    error = "TLS: cannot read trusted certificates " + options.trust_file + ": " +
            library_error("unreadable");
    SSL_CTX_free(context);
    return nullptr;
  }
  ERR_clear_error();
  const std::string& pem = options.client_certificate;
  if (!pem.empty() && (SSL_CTX_use_certificate_chain_file(context, pem.c_str()) != 1 ||
                       SSL_CTX_use_PrivateKey_file(context, pem.c_str(), SSL_FILETYPE_PEM) != 1 ||
                       SSL_CTX_check_private_key(context) != 1)) {
    error = "TLS: cannot use client certificate " + pem + ": " + library_error("unreadable");
    SSL_CTX_free(context);
    return nullptr;
  }
  return context;
}

bool name_session(SSL* session, const std::string& host) {
  if (is_address(host)) {
    return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session), host.c_str()) == 1;
  }
  return SSL_set_tlsext_host_name(session, host.c_str()) == 1 &&
         SSL_set1_host(session, host.c_str()) == 1;
}

// Waits for `events` on fd, or for abort_fd; false at the deadline or on an abort.
bool wait_for(int fd, short events, Clock::time_point deadline, int abort_fd) {
  pollfd fds[2] = {{fd, events, 0}, {abort_fd, POLLIN, 0}};
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const int ready = ::poll(fds, abort_fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && !(fds[1].revents & POLLIN);
  }
}

std::string sha256_of(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

// The DNS names a certificate was issued for, to tell the user which host it belongs to.
std::string issued_names(X509* certificate) {
  auto* names = static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  std::string list;
  for (int i = 0; names && i < sk_GENERAL_NAME_num(names) && i < 4; ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type != GEN_DNS) continue;
    const ASN1_STRING* text = name->d.dNSName;
    if (!list.empty()) list += ", ";
    list.append(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                static_cast<std::size_t>(ASN1_STRING_length(text)));
  }
  GENERAL_NAMES_free(names);
  return list;
}

// Empty when the server's certificate is acceptable, else the refusal in words.
std::string check_peer(SSL* session, const std::string& host, const TlsOptions& options) {
  X509* certificate = SSL_get1_peer_certificate(session);
  if (!certificate) return untrusted_certificate_text(host, "no certificate sent");
  std::string refusal;
  const long code = SSL_get_verify_result(session);
  if (!options.fingerprint.empty()) {
    const std::string pinned = normalize_fingerprint(options.fingerprint);
    const std::string actual = sha256_of(certificate);
    if (pinned.empty()) {
      refusal = "TLS: the pinned fingerprint is not a SHA-256 fingerprint (64 hex digits)";
    } else if (pinned != actual) {
      refusal = untrusted_certificate_text(
          host, "its fingerprint " + display_fingerprint(actual) + " is not the pinned one");
    }
  } else if (options.verify && code != X509_V_OK) {
    std::string reason = verify_failure_reason(code);
    const std::string names = issued_names(certificate);
    if ((code == X509_V_ERR_HOSTNAME_MISMATCH || code == X509_V_ERR_IP_ADDRESS_MISMATCH) &&
        !names.empty()) {
      reason = "issued for " + names;
    }
    refusal = untrusted_certificate_text(host, reason);
  }
  X509_free(certificate);
  return refusal;
}

}  // namespace

TlsTransport::TlsTransport(SSL_CTX* context, SSL* session)
    : context_(context),
      session_(session),
      pending_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TlsTransport::~TlsTransport() {
  SSL_free(session_);
  SSL_CTX_free(context_);
  if (pending_fd_ >= 0) ::close(pending_fd_);
}

TlsTransport::Result TlsTransport::connect(int fd, const std::string& host,
                                           const TlsOptions& options, Deadline deadline,
                                           int abort_fd) {
  Result result;
  SSL_CTX* context = make_context(options, result.error);
  if (!context) return result;
  SSL* session = SSL_new(context);
  BIO* bio = session ? BIO_new(socket_method()) : nullptr;
  if (!bio) {
    SSL_free(session);
    SSL_CTX_free(context);
    result.error = "TLS: cannot start: out of memory";
    return result;
  }
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
  SSL_set_bio(session, bio, bio);
  std::unique_ptr<TlsTransport> transport(new TlsTransport(context, session));
  if (!name_session(session, host)) {
    result.error = "TLS: cannot use the name " + host;
    return result;
  }
  ERR_clear_error();
  for (;;) {
    const int done = SSL_connect(session);
    if (done == 1) break;
    const int why = SSL_get_error(session, done);
    const short events = why == SSL_ERROR_WANT_READ    ? POLLIN
                         : why == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                       : 0;
    if (events == 0) {
      const bool closed = why == SSL_ERROR_SYSCALL || why == SSL_ERROR_ZERO_RETURN;
      result.error = "TLS: handshake with " + host + " failed: " +
                     library_error(closed ? "the server closed the connection" : "protocol error");
      result.kind = ConnectResult::handshake_cut;
      return result;
    }
    if (!wait_for(fd, events, deadline, abort_fd)) {
      result.error = "TLS: handshake with " + host + " timed out";
      result.kind = ConnectResult::handshake_timed_out;
      return result;
    }
  }
  result.error = check_peer(session, host, options);
  result.kind = ConnectResult::certificate_refused;
  if (result.error.empty()) {
    result.transport = std::move(transport);
    result.kind = ConnectResult::connected;
  }
  return result;
}

ssize_t TlsTransport::receive(int fd, char* destination, std::size_t count) {
  for (;;) {
    short events = 0;
    {
      std::lock_guard hold(lock_);
      ERR_clear_error();
      const int n = SSL_read(session_, destination, static_cast<int>(count));
      if (n > 0) return n;
      const int why = SSL_get_error(session_, n);
      if (why == SSL_ERROR_ZERO_RETURN) return 0;
      if (why == SSL_ERROR_WANT_READ) events = POLLIN;
      else if (why == SSL_ERROR_WANT_WRITE) events = POLLOUT;
      else return -1;
    }
    if (!wait_ready(fd, events, true)) return -1;
  }
}

ssize_t TlsTransport::send(int fd, const char* source, std::size_t count) {
  count = std::min(count, kMaxRecord);
  for (;;) {
    short events = 0;
    {
      std::lock_guard hold(lock_);
      ERR_clear_error();
      const int n = SSL_write(session_, source, static_cast<int>(count));
      if (n > 0) {
        wake_reader_if_pending();
        return n;
      }
      const int why = SSL_get_error(session_, n);
      if (why == SSL_ERROR_WANT_READ) events = POLLIN;
      else if (why == SSL_ERROR_WANT_WRITE) events = POLLOUT;
      else return -1;
    }
    if (!wait_ready(fd, events, false)) return -1;
  }
}

// With the lock held. A write may read records off the socket (a post-handshake
// message); a reader asleep in poll() would not see them there.
void TlsTransport::wake_reader_if_pending() {
  if (pending_fd_ < 0 || SSL_has_pending(session_) != 1) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(pending_fd_, &one, sizeof one);
}

bool TlsTransport::wait_ready(int fd, short events, bool reader) {
  pollfd fds[2] = {{fd, events, 0}, {pending_fd_, POLLIN, 0}};
  for (;;) {
    const int ready = ::poll(fds, reader && pending_fd_ >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (fds[1].revents & POLLIN) {
      std::uint64_t drained;
      [[maybe_unused]] ssize_t got = ::read(pending_fd_, &drained, sizeof drained);
    }
    return true;
  }
}

}  // namespace velmora
