#pragma once
// What a connection asks of TLS. Nothing above net/ looks inside a session; these
// values are all it chooses.

#include <string>

namespace velmora {

struct TlsOptions {
  bool enabled = false;
  // Check the server's certificate against the trust store and the host name.
  bool verify = true;
  // SHA-256 of the server certificate, hex with or without colons: when set, exactly
  // that certificate is trusted and the trust store is not asked.
  std::string fingerprint;
  // PEM file holding a client certificate and its key; empty for none.
  std::string client_certificate;
  // PEM file of trusted certificates used instead of the system's store; empty for it.
  std::string trust_file;
};

}  // namespace velmora
