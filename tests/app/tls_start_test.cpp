// Whole clients over TLS and through registration: ngircd with a TLS port and
// throwaway certificates, and a scripted server that speaks CAP 302 and SASL 3.1 (with
// message tags on every line) line by line.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>

#include "app/app_state.h"
#include "irc/base64.h"
#include "net/chat_socket.h"
#include "tests/app/recording_client.h"
#include "tests/support/eventually.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_certificates.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::NgircdServer;
using test_support::ScriptedServer;
using test_support::TempFolder;
using test_support::TestCertificates;

using test_support::RecordingState;

using Client = test_support::RecordingClient;

std::unique_ptr<NgircdServer> tls_ngircd(const TestCertificates& certs) {
  test_support::NgircdOptions options;
  options.tls_pem = certs.server();
  return std::make_unique<NgircdServer>(options);
}

// Both faces share this path; the terminal adds only its own view.
TEST(TlsClients, ExchangeTheKeyAndChatWhileAPlainObserverSeesOnlyHex) {
  TestCertificates certs;
  auto server = tls_ngircd(certs);
  ASSERT_TRUE(server->running());
  const std::string tls = "TLS=1\nTLS_CA=" + certs.ca() + "\n";
  Client alice(server->tls_port(), "alice", tls), bob(server->tls_port(), "bob", tls);
  ASSERT_TRUE(alice.state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice.holds_key(); })) << "alone, alice makes the key";
  EXPECT_TRUE(alice.state().connection().socket().encrypted());
  ChatSocket observer;
  ASSERT_EQ(observer.connect("127.0.0.1", server->port()), 0);
  observer.put_line("NICK watcher");
  observer.put_line("USER w 0 * :w");
  observer.put_line("JOIN #room");
  ASSERT_TRUE(bob.state().start_connection());
  ASSERT_TRUE(eventually([&] { return bob.holds_key(); }, 15s));
  EXPECT_EQ(bob.state().security().channel_key(), alice.state().security().channel_key());
  alice.say("over tls");
  EXPECT_TRUE(bob.wait_for_text("over tls"));

  std::string seen;
  EXPECT_TRUE(eventually([&] {
    std::vector<std::string> lines;
    observer.take_lines("\r\n", lines, 1000);
    for (const std::string& l : lines) seen += l;
    return seen.find("PRIVMSG #room :@CRYPTO ") != std::string::npos;
  }));
  EXPECT_EQ(seen.find("over tls"), std::string::npos);
}

TEST(TlsClients, RefusedCertificateIsSaidOnceAndNotRetried) {
  TestCertificates certs;
  auto server = tls_ngircd(certs);  // signed by a CA the client does not trust
  Client client(server->tls_port(), "alice", "PORT=" + std::to_string(server->tls_port()) + "\nTLS=1\n");
  const std::string text = "TLS: certificate for localhost is not trusted: issuer unknown";
  ASSERT_TRUE(client.state().start_connection());
  ASSERT_TRUE(eventually([&] { return !client.state().attempt_in_progress(); }));
  EXPECT_EQ(client.state().texts(),
            (std::vector<std::string>{"Connecting to localhost...", text}));
  EXPECT_EQ(client.state().status_text(), text);
  EXPECT_EQ(client.view_lines(), std::vector<std::string>{"note: " + text});
}

// A plain login to ngircd's TLS port is hung up on: the words say TLS may be expected,
// and the trying goes on (the user may fix the settings meanwhile).
TEST(TlsClients, PlainLoginToATlsPortSaysTlsMayBeExpected) {
  TestCertificates certs;
  auto server = tls_ngircd(certs);
  ASSERT_TRUE(server->running());
  Client client(server->tls_port(), "alice", "TLS=0\n");
  ASSERT_TRUE(client.state().start_connection());
  EXPECT_TRUE(eventually([&] {
    return client.state().saw("The server closed the connection before welcoming us; it may "
                              "expect TLS (PORT=6697 or TLS=1)");
  }, 15s));
  client.state().request_disconnect();
}

TEST(TlsClients, UncheckedCertificateIsSaidAtEveryConnect) {
  TestCertificates certs;
  auto server = tls_ngircd(certs);
  Client client(server->tls_port(), "alice", "TLS=1\nTLS_VERIFY=0\n");
  ASSERT_TRUE(client.state().start_connection());
  ASSERT_TRUE(eventually([&] { return !client.state().attempt_in_progress(); }));
  // Said on the welcome; the key exchange may post its own status right after.
  const std::vector<std::string> texts = client.state().texts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[3], "TLS: the server's certificate is not checked (TLS_VERIFY=0)");
  EXPECT_TRUE(client.state().connection().socket().encrypted());
}

// ngircd negotiates capabilities but has no sasl: the login goes on without an account.
TEST(Registration, ServerWithoutSaslGoesOnWithoutAnAccount) {
  NgircdServer server;
  Client client(server.port(), "alice", "SASL_PLAINTEXT=1\nSASL_USER=alice\nSASL_PASS=pw\n");
  ASSERT_TRUE(client.state().start_connection());
  ASSERT_TRUE(eventually([&] { return client.holds_key(); }));
  EXPECT_TRUE(client.state().saw(
      "SASL: the server offers no account login; continuing without an account"));
}

// One client through a scripted server that answers as the CAP 302 and SASL 3.1 texts
// describe the server's side. Every server line carries tags.
class SaslServer {
public:
  ScriptedServer server;
  void say(const std::string& line) { server.send_line("@time=2026-12-07T13:00:00.000Z;x=y " + line); }
  bool expect(const std::string& line) { return server.wait_for_line(line); }
};

TEST(Registration, PlainRightWrongAndExternalAgainstAScriptedServer) {
  const std::string good = base64_encode(std::string("alice\0alice\0right", 17));
  const struct Case {
    const char* what;
    std::string settings;
    std::string mechanism, response;
    bool accept;
    std::string status;
    bool joins;
  } cases[] = {
      {"PLAIN right", "SASL_PLAINTEXT=1\nSASL_USER=alice\nSASL_PASS=right\nAUTHPASS=serverpw\n", "PLAIN", good, true,
       "Logged in as alice", true},
      {"PLAIN wrong, going on", "SASL_PLAINTEXT=1\nSASL_USER=alice\nSASL_PASS=wrong\n", "PLAIN",
       base64_encode(std::string("alice\0alice\0wrong", 17)), false,
       "SASL: login refused (904: SASL authentication failed); continuing without an account", true},
      {"PLAIN wrong, required", "SASL_PLAINTEXT=1\nSASL_USER=alice\nSASL_PASS=wrong\nSASL_REQUIRED=1\n", "PLAIN",
       base64_encode(std::string("alice\0alice\0wrong", 17)), false,
       "SASL: login refused (904: SASL authentication failed); disconnecting", false},
      {"EXTERNAL", "SASL_MECH=EXTERNAL\n", "EXTERNAL", "+", true, "Logged in as alice", true},
  };
  for (const Case& c : cases) {
    SaslServer s;
    Client client(s.server.port(), "alice", c.settings);
    ASSERT_TRUE(client.state().start_connection()) << c.what;
    ASSERT_TRUE(s.expect("CAP LS 302")) << c.what;
    ASSERT_TRUE(s.expect("NICK alice")) << c.what;
    s.say(":irc.test CAP * LS * :multi-prefix away-notify");
    s.say(":irc.test CAP * LS :sasl=PLAIN,EXTERNAL server-time");
    ASSERT_TRUE(s.expect("CAP REQ :sasl")) << c.what;
    s.say(":irc.test CAP alice ACK :sasl");
    ASSERT_TRUE(s.expect("AUTHENTICATE " + c.mechanism)) << c.what;
    s.say("AUTHENTICATE +");
    ASSERT_TRUE(s.expect("AUTHENTICATE " + c.response)) << c.what;
    if (c.accept) {
      s.say(":irc.test 900 alice alice!u@h alice :You are now logged in as alice");
      s.say(":irc.test 903 alice :SASL authentication successful");
    } else {
      s.say(":irc.test 904 alice :SASL authentication failed");
    }
    if (c.joins) {
      ASSERT_TRUE(s.expect("CAP END")) << c.what;
      s.say(":irc.test 001 alice :Welcome");
      ASSERT_TRUE(s.expect("JOIN #room")) << c.what;
      ASSERT_TRUE(eventually([&] { return !client.state().attempt_in_progress(); }));
      // A refused login stays in the status line, though the client goes on.
      EXPECT_EQ(client.state().status_text(), c.status) << c.what;
    } else {
      EXPECT_TRUE(s.expect("QUIT :account login failed")) << c.what;
      ASSERT_TRUE(eventually([&] { return !client.state().attempt_in_progress(); }));
      EXPECT_EQ(s.server.clients_accepted(), 1) << c.what << ": not tried again";
      EXPECT_EQ(client.state().status_text(), c.status) << c.what;
    }
    EXPECT_TRUE(client.state().saw(c.status)) << c.what;
    const std::string log = client.log();
    EXPECT_EQ(log.find("right"), std::string::npos) << c.what;
    EXPECT_EQ(log.find("serverpw"), std::string::npos) << c.what;
    if (c.mechanism == "PLAIN") {
      EXPECT_EQ(log.find(c.response), std::string::npos) << c.what;
      EXPECT_NE(log.find("SEND: AUTHENTICATE ****"), std::string::npos) << c.what;
    }
    s.server.close_client();
  }
}

TEST(Registration, NoWelcomeFailsTheAttemptAfterTheBound) {
  ScriptedServer server;
  AppOptions options{1ms};
  options.welcome_bound = 1000ms;
  Client client(server.port(), "alice", "", options);
  ASSERT_TRUE(client.state().start_connection());
  ASSERT_TRUE(server.wait_for_clients(2, 15s)) << "tried again after the pause";
  EXPECT_TRUE(client.state().saw("No welcome from localhost within 1 s"));
  EXPECT_TRUE(client.state().saw("Reconnecting in 5 seconds..."));
  client.state().request_disconnect();
}

}  // namespace
}  // namespace velmora
