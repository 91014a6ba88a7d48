#pragma once
// A plain IRC connection to a local server that says whatever the test tells it to,
// and reads what it is sent, bounded in time. With a client certificate it speaks TLS
// and presents it (the server's own certificate is not checked).

#include <openssl/ssl.h>

#include <chrono>
#include <string>

namespace velmora::test_support {

class RawClient {
public:
  // Connects to 127.0.0.1:`port` and registers as `nick`; over TLS, presenting the
  // certificate and key in `client_pem`, when it is given.
  RawClient(int port, const std::string& nick, const std::string& client_pem = "");
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  void say(const std::string& lines);  // CR LF added at the end
  // Reads until `text` has been received or `bound` passes.
  bool wait_for(const std::string& text, std::chrono::milliseconds bound);
  // The next whole line received (without CR LF), or empty when none came in `bound`.
  std::string read_line(std::chrono::milliseconds bound);

private:
  bool start_tls(const std::string& client_pem);

  int fd_ = -1;
  SSL_CTX* context_ = nullptr;
  SSL* tls_ = nullptr;
  bool connected_ = false;
  std::string seen_;
  std::string unread_;  // what read_line has received and not yet handed out
};

}  // namespace velmora::test_support
