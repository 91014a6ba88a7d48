// ChatSocket over TLS through a real ngircd with throwaway certificates: which
// certificates are accepted, the words for a refusal, and lines both ways at once.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "net/chat_socket.h"
#include "net/tls_verify.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_certificates.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::NgircdServer;
using test_support::TestCertificates;

TlsOptions tls_options(std::string trust = "", std::string pin = "", bool verify = true,
                       std::string client = "") {
  TlsOptions tls;
  tls.enabled = true;
  tls.trust_file = std::move(trust);
  tls.fingerprint = std::move(pin);
  tls.verify = verify;
  tls.client_certificate = std::move(client);
  return tls;
}

std::unique_ptr<NgircdServer> serve(const std::string& pem) {
  test_support::NgircdOptions options;
  options.tls_pem = pem;
  auto server = std::make_unique<NgircdServer>(options);
  EXPECT_TRUE(server->running());
  return server;
}

// Registers and reads up to the welcome; the first line that is not a notice, or "".
std::string register_as(ChatSocket& socket, const std::string& nick) {
  socket.put_line("NICK " + nick);
  socket.put_line("USER " + nick + " 0 * :" + nick);
  for (int i = 0; i < 20; ++i) {
    std::string line = socket.get_until("\r\n");
    if (line.empty()) return "";
    if (line.find(" 001 ") != std::string::npos) return line;
  }
  return "";
}

TEST(TlsSocket, VerifiedConnectCarriesLinesAndSaysItIsEncrypted) {
  TestCertificates certs;
  ASSERT_TRUE(certs.ready());
  auto server = serve(certs.server());
  for (const char* host : {"localhost", "127.0.0.1"}) {
    ChatSocket socket;
    TlsOptions tls = tls_options(certs.ca());
    ASSERT_EQ(socket.connect(host, server->tls_port(), tls), 0) << host << socket.failure_text();
    EXPECT_TRUE(socket.encrypted());
    EXPECT_NE(register_as(socket, "tls1"), "") << host;
    socket.put_line("QUIT :done");
    EXPECT_TRUE(socket.wait_closed(3s));
    EXPECT_FALSE(socket.encrypted());
  }
}

TEST(TlsSocket, WhichCertificatesAreAcceptedAndTheWordsForARefusal) {
  TestCertificates certs;
  ASSERT_TRUE(certs.ready());
  struct Case {
    const char* what;
    std::string served;
    TlsOptions tls;
    std::string refusal;  // empty: accepted
  };
  const std::string prefix = "TLS: certificate for localhost is not trusted: ";
  const Case cases[] = {
      {"self-signed", certs.self_signed(), tls_options(), prefix + "self-signed"},
      {"CA not trusted", certs.server(), tls_options(), prefix + "issuer unknown"},
      {"other host", certs.other_host(), tls_options(certs.ca()),
       prefix + "issued for other.example"},
      {"pinned self-signed", certs.self_signed(),
       tls_options("", certs.fingerprint(certs.self_signed())), ""},
      {"pin in lower case without colons", certs.self_signed(),
       tls_options("", normalize_fingerprint(certs.fingerprint(certs.self_signed()))), ""},
      {"pin of another certificate", certs.server(),
       tls_options(certs.ca(), certs.fingerprint(certs.other_host())),
       prefix + "its fingerprint " + certs.fingerprint(certs.server()) + " is not the pinned one"},
      {"verification off", certs.other_host(), tls_options("", "", false), ""},
      {"client certificate", certs.server(),
       tls_options(certs.ca(), "", true, certs.client()), ""},
  };
  for (const Case& c : cases) {
    auto server = serve(c.served);
    ChatSocket socket;
    const int code = socket.connect("localhost", server->tls_port(), c.tls);
    if (c.refusal.empty()) {
      EXPECT_EQ(code, 0) << c.what << ": " << socket.failure_text();
      EXPECT_NE(register_as(socket, "tls2"), "") << c.what;
    } else {
      EXPECT_EQ(code, 5) << c.what;
      EXPECT_EQ(socket.failure_text(), c.refusal) << c.what;
      EXPECT_TRUE(socket.is_closed()) << c.what;
    }
  }
}

TEST(TlsSocket, PlainPortAndMissingFilesFailWithAReason) {
  TestCertificates certs;
  auto server = serve(certs.server());
  test_support::ScriptedServer plain(":irc.example.net NOTICE * :*** Looking up your hostname\r\n");
  ChatSocket socket;
  EXPECT_EQ(socket.connect("localhost", plain.port(), tls_options()), 5);
  EXPECT_TRUE(socket.failure_text().starts_with("TLS: handshake with localhost failed: "))
      << socket.failure_text();
  EXPECT_EQ(socket.connect("localhost", server->tls_port(),
                           tls_options("", "", true, "/nonexistent.pem")),
            5);
  EXPECT_TRUE(socket.failure_text().starts_with("TLS: cannot use client certificate /nonexistent.pem"))
      << socket.failure_text();
  EXPECT_EQ(socket.connect("localhost", server->port()), 0) << "plain still works";
  EXPECT_EQ(socket.failure_text(), "");
}

// A host that accepts TCP but never answers the handshake holds connect only until the
// owner goes away.
TEST(TlsSocket, SilentHandshakeCanBeAborted) {
  test_support::ScriptedServer silent;  // takes the connection, never answers
  ChatSocket socket;
  auto result = std::async(std::launch::async, [&] {
    return socket.connect("127.0.0.1", silent.port(), tls_options("", "", false));
  });
  EXPECT_EQ(result.wait_for(300ms), std::future_status::timeout);
  socket.abort_connect();
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(result.get(), 5);
  EXPECT_EQ(socket.failure_text(), "TLS: handshake with 127.0.0.1 timed out");
}

// Both workers use the session at once: each client writes while the other's lines
// arrive. Under the thread sanitizer this is the test that matters. It also caught
// ngircd leaving most of a big record unread (see kMaxRecord).
TEST(TlsSocket, TwoSessionsWriteAndReadAtOnce) {
  TestCertificates certs;
  auto server = serve(certs.server());
  ChatSocket a, b;
  TlsOptions tls = tls_options(certs.ca());
  ASSERT_EQ(a.connect("localhost", server->tls_port(), tls), 0);
  ASSERT_EQ(b.connect("localhost", server->tls_port(), tls), 0);
  ASSERT_NE(register_as(a, "alpha"), "");
  ASSERT_NE(register_as(b, "beta"), "");
  constexpr int kLines = 300;
  auto count_from = [](ChatSocket& socket, const std::string& sender) {
    int seen = 0;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    std::vector<std::string> lines;
    while (seen < kLines && std::chrono::steady_clock::now() < deadline) {
      socket.wait_for_data(100ms);
      lines.clear();
      socket.take_lines("\r\n", lines, 1000);
      for (const std::string& line : lines) seen += line.starts_with(":" + sender + "!");
    }
    return seen;
  };
  auto a_reads = std::async(std::launch::async, count_from, std::ref(a), "beta");
  auto b_reads = std::async(std::launch::async, count_from, std::ref(b), "alpha");
  for (int i = 0; i < kLines; ++i) {
    a.put_line("PRIVMSG beta :line " + std::to_string(i) + std::string(100, 'a'));
    b.put_line("PRIVMSG alpha :line " + std::to_string(i) + std::string(100, 'b'));
  }
  ASSERT_EQ(a_reads.wait_for(20s), std::future_status::ready);
  ASSERT_EQ(b_reads.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(a_reads.get(), kLines);
  EXPECT_EQ(b_reads.get(), kLines);
  EXPECT_EQ(a.close(), 0);
}

TEST(TlsVerify, FingerprintForms) {
  const std::string hex(64, 'a');
  const struct {
    std::string text, expected;
  } cases[] = {
      {hex, hex},
      {"AA:" + std::string(62, 'A'), hex},
      {std::string(62, 'a'), ""},          // too short
      {hex + "a", ""},                    // too long
      {std::string(63, 'a') + "g", ""},  // not hex
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(normalize_fingerprint(c.text), c.expected) << c.text;
  EXPECT_EQ(display_fingerprint("0a1b"), "0A:1B");
}

}  // namespace
}  // namespace velmora
