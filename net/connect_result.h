#pragma once
// How a connect ended, as a value the layers above decide on: only a refused
// certificate stops the trying; everything else may be different a minute later.

namespace velmora {

enum class ConnectResult {
  connected,
  host_not_found,
  refused,              // nothing listens there (yet)
  timed_out,            // no answer to the connection attempt
  unreachable,
  cancelled,            // the owner is going away
  failed,               // any other socket error
  tls_setup_failed,     // our own files: trust store or client certificate unreadable
  handshake_cut,        // the server closed or broke off the TLS handshake
  handshake_timed_out,
  certificate_refused,  // untrusted certificate, wrong name or a pin mismatch
};

// The result in a few words ("connection refused", "TLS handshake cut"); the socket's
// failure_text() names the host and the reason.
const char* connect_result_words(ConnectResult result);

// Whether another attempt later may succeed.
inline bool worth_retrying(ConnectResult result) {
  return result != ConnectResult::certificate_refused && result != ConnectResult::connected;
}

}  // namespace velmora
