#pragma once
// Debian's InspIRCd, started for one test like the local ngircd: its own config in a
// temporary folder, 127.0.0.1 on a free port, Debian's default flood limits for the
// connect class, run in the foreground and stopped by its PID. InspIRCd refuses a JOIN
// before registration ends, where ngircd lets it through.

#include <string>

#include "tests/support/local_server.h"

namespace velmora::test_support {

// The services server that may link to it (AccountServices), and their shared password.
inline constexpr const char* kServicesName = "services.velmora.test";
inline constexpr const char* kLinkPassword = "velmora-link";

struct InspircdOptions {
  // PEM file with certificate and key: also serve TLS (GnuTLS) on tls_port(), asking
  // clients for a certificate so that services see its fingerprint.
  std::string tls_pem;
  // Accept the services link on link_port(), with the account, SASL and IRCv3 modules
  // (message tags, server-time, msgid) loaded.
  bool services = false;
};

class InspircdServer : public LocalServer {
public:
  // Stopped by its PID: SIGTERM, a bounded wait, then SIGKILL.
  explicit InspircdServer(InspircdOptions options = {});

  int tls_port() const { return tls_port_; }
  int link_port() const { return link_port_; }
  std::string name() const { return "irc.inspircd.test"; }

private:
  int tls_port_ = 0;
  int link_port_ = 0;
};

}  // namespace velmora::test_support
