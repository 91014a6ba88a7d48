#pragma once
// One TCP client connection with a background receive worker and a background send
// worker, so that nobody above this layer blocks on the network. Callers copy bytes out
// of the receive buffer or into the send buffer; the workers move them.
//
// Waiting is event driven: the workers and the callers wake each other with condition
// variables instead of polling, so an idle connection costs no CPU.
//
// How this folder reports failure: the operations follow the socket calls they stand
// for. connect() gives a numbered code (0 = connected) and failure_text() the words;
// close() gives 0 or an errno; byte operations give the count they moved (0 = nothing);
// waits give false when the time ran out or the connection closed. The workers never
// stop on an error: they close the connection, and is_closed() tells. Below this class
// a Transport returns what recv()/send() return (-1 and errno), and a TLS handshake
// that fails gives no transport and the user's words for why. Nothing here throws.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/connect_result.h"
#include "net/tls_options.h"

namespace velmora {

class ChatSocket {
public:
  // Lines longer than this are cut: the excess is dropped up to the next delimiter.
  static constexpr std::size_t kMaxLine = 64 * 1024;
  // The receive worker stops reading while this much is waiting, so TCP pushes back.
  static constexpr std::size_t kMaxWaiting = 1024 * 1024;
  // More output than this waiting means the server is not reading: the connection is
  // closed and the output dropped (see output_overflowed).
  static constexpr std::size_t kMaxQueued = 4 * 1024 * 1024;
  // How long close() and destruction wait for queued output to leave.
  static constexpr std::chrono::milliseconds kDrainBound{3000};
  // How long connect() waits for a host that does not answer before it counts as failed.
  static constexpr std::chrono::milliseconds kConnectBound{30000};

  ChatSocket();             // not connected; both workers running
  ~ChatSocket();            // sends queued output (bounded), closes, joins both workers
  ChatSocket(const ChatSocket&) = delete;
  ChatSocket& operator=(const ChatSocket&) = delete;

  // 0 connected; 1 no socket; 2 host not resolved; 3 connect refused/failed;
  // 4 socket option failed. Every address the host name resolves to is tried in turn;
  // "http://" prefixes and a "/path" are stripped.
  int connect(const std::string& host, int port);
  // The same, then a TLS handshake when `tls.enabled`, within the same bound; 5 when it
  // fails or the certificate is refused, with the reason in failure_text().
  int connect(const std::string& host, int port, const TlsOptions& tls);
  std::string failure_text() const;  // empty when the last connect said no more than its code
  // The last connect's result as a value (the code says less: 5 is every TLS failure).
  ConnectResult last_result() const;
  bool encrypted() const;            // connected through TLS
  // Makes a connect() in progress fail at once (result 3), and every later one too: for
  // an owner that is going away while a host does not answer.
  void abort_connect();
  bool is_closed() const;
  std::size_t length() const;  // received bytes not yet consumed

  // All or nothing: copies `count` bytes (consuming them unless `peek`) or returns 0.
  int get_data(char* destination, int count, bool peek);
  // The text up to and including the first `delimiter`; waits until it arrives or the
  // connection closes with nothing waiting (then returns what there was, possibly empty).
  // A line longer than kMaxLine is returned cut to kMaxLine bytes plus the delimiter,
  // and the rest of it up to the delimiter is dropped.
  std::string get_until(std::string_view delimiter);
  // Without waiting: appends up to `max` complete lines that are already here to
  // `lines`, each as get_until would return it, under one lock; returns how many. A
  // line longer than kMaxLine stops it: get_until cuts that one.
  std::size_t take_lines(std::string_view delimiter, std::vector<std::string>& lines,
                         std::size_t max);

  // Waits until at least one byte is waiting (true) or the connection is closed or the
  // time is up (false).
  bool wait_for_data(std::chrono::milliseconds timeout) { return wait_for_more(0, timeout); }
  // Waits until more than `have` bytes are waiting (true) or the connection is closed
  // or the time is up (false): woken by the receive worker, not by polling.
  bool wait_for_more(std::size_t have, std::chrono::milliseconds timeout);
  // Waits until the connection is closed; true when it closed within the time.
  bool wait_closed(std::chrono::milliseconds timeout);

  bool put_line(std::string_view text);         // text + CR LF; always true
  // True when the last connection was closed because more than kMaxQueued bytes
  // waited to be sent; cleared by the next connect.
  bool output_overflowed() const;
  // Waits (at most `drain_bound`) for queued output to leave, then closes. 0 or errno.
  int close(std::chrono::milliseconds drain_bound = kDrainBound);

  // Sizes of the two blocks and the bytes still queued for sending, for tests and
  // diagnostics.
  std::size_t recv_capacity() const;
  std::size_t send_capacity() const;
  std::size_t queued() const;

private:
  friend class ChatSocketTestSeam;  // net/chat_socket_test_seam.h

  // Byte-level operations that only tests use, through ChatSocketTestSeam.
  // Copies up to `count` bytes, waiting up to `timeout_ms` (0: no limit, -1: one try);
  // returns `count` when all arrived, else 0; `count` is set to the bytes copied.
  int get(char* destination, int& count, int timeout_ms, bool peek);
  bool discard(int count);
  int put_data(const char* source, int count);  // count, or 0 when count < 1

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
