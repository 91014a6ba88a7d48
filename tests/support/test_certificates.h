#pragma once
// Throwaway certificates made with the openssl command for one test: a CA, a server
// certificate it signed for localhost and 127.0.0.1, one for another host, a self-signed
// one, and a client certificate. Each PEM file holds the certificate and its key.

#include <string>

#include "tests/support/temp_folder.h"

namespace velmora::test_support {

class TestCertificates {
public:
  TestCertificates();
  bool ready() const { return ready_; }

  std::string ca() const { return folder_.file("ca.crt"); }           // certificate only
  std::string server() const { return folder_.file("server.pem"); }   // localhost, 127.0.0.1
  std::string other_host() const { return folder_.file("other.pem"); }  // other.example
  std::string self_signed() const { return folder_.file("self.pem"); }  // localhost
  std::string client() const { return folder_.file("client.pem"); }
  // SHA-256 of a PEM file's certificate, as "AB:CD:..." the way openssl prints it.
  std::string fingerprint(const std::string& pem) const;

private:
  bool run(const std::string& command) const;

  TempFolder folder_;
  bool ready_ = false;
};

}  // namespace velmora::test_support
