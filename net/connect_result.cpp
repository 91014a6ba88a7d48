#include "net/connect_result.h"

namespace velmora {

const char* connect_result_words(ConnectResult result) {
  switch (result) {
    case ConnectResult::connected: return "connected";
    case ConnectResult::host_not_found: return "host not found";
    case ConnectResult::refused: return "connection refused";
    case ConnectResult::timed_out: return "connection timed out";
    case ConnectResult::unreachable: return "host unreachable";
    case ConnectResult::cancelled: return "connecting cancelled";
    case ConnectResult::failed: return "connection failed";
    case ConnectResult::tls_setup_failed: return "TLS could not start";
    case ConnectResult::handshake_cut: return "TLS handshake cut";
    case ConnectResult::handshake_timed_out: return "TLS handshake timed out";
    case ConnectResult::certificate_refused: return "certificate refused";
  }
  return "connection failed";
}

}  // namespace velmora
