// Account logins against real services: InspIRCd linked to Atheme (Debian 12) or Anope
// (Debian 13), both on 127.0.0.1 with their own configs. PLAIN with a right and a wrong password, EXTERNAL with a
// client certificate whose fingerprint the account holds (CertFP over TLS), and two
// logged-in clients sharing the channel key through a server with its IRCv3 modules.
#include <gtest/gtest.h>

#include <memory>

#include "app/app_state.h"
#include "tests/app/recording_client.h"
#include "tests/support/account_services.h"
#include "tests/support/eventually.h"
#include "tests/support/inspircd_server.h"
#include "tests/support/skip_without.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_certificates.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::AccountServices;
using test_support::eventually;
using test_support::InspircdServer;
using test_support::RecordingState;
using test_support::TempFolder;
using test_support::TestCertificates;

using Client = test_support::RecordingClient;

// InspIRCd with services linked, a TLS port whose certificate the test CA signed, and
// the accounts alice (password "alice-secret", the client certificate's fingerprint) and bob.
class ServicesLogin : public ::testing::Test {
protected:
  void SetUp() override {
    VELMORA_SKIP_WITHOUT(AccountServices::missing());
    ASSERT_TRUE(certs.ready());
    server = std::make_unique<InspircdServer>(
        test_support::InspircdOptions{certs.server(), /*services=*/true});
    ASSERT_TRUE(server->running());
    services = AccountServices::start(*server);
    ASSERT_TRUE(services->linked()) << services->log();
    ASSERT_TRUE(services->register_account(*server, "alice", "alice-secret", certs.client()))
        << services->log();
    ASSERT_TRUE(services->register_account(*server, "bob", "bob-secret")) << services->log();
  }

  TestCertificates certs;
  std::unique_ptr<InspircdServer> server;
  std::unique_ptr<AccountServices> services;
};

TEST_F(ServicesLogin, PlainWithAWrongPasswordGoesOnOrDisconnectsAsAsked) {
  const struct Case {
    const char* settings;
    const char* status;
    bool stays;
  } cases[] = {
      {"SASL_PLAINTEXT=1\nSASL_USER=alice\nSASL_PASS=not-the-secret\n",
       "SASL: login refused (904: SASL authentication failed); continuing without an account", true},
      {"SASL_PLAINTEXT=1\nSASL_USER=alice\nSASL_PASS=not-the-secret\nSASL_REQUIRED=1\n",
       "SASL: login refused (904: SASL authentication failed); disconnecting", false},
  };
  for (const Case& c : cases) {
    Client client(server->port(), "carol", c.settings);
    ASSERT_TRUE(client.state().start_connection()) << c.settings;
    EXPECT_TRUE(eventually([&] { return client.state().saw(c.status); }, 10s)) << c.settings;
    if (c.stays) {
      EXPECT_TRUE(eventually([&] { return client.in_channel(); }, 10s)) << c.settings;
    } else {
      EXPECT_TRUE(eventually([&] { return !client.state().attempt_in_progress(); }, 10s));
      EXPECT_EQ(client.state().status_text(), c.status);
      EXPECT_FALSE(client.in_channel());
    }
    EXPECT_EQ(client.log().find("not-the-secret"), std::string::npos) << "the password stays out of the log";
  }
}

// The account holds the client certificate's fingerprint: the TLS session proves it,
// no password is sent.
TEST_F(ServicesLogin, ExternalWithTheClientCertificateOverTls) {
  Client client(server->tls_port(), "certuser",
                "TLS=1\nTLS_CA=" + certs.ca() + "\nTLS_CERT=" + certs.client() +
                    "\nSASL_MECH=EXTERNAL\nSASL_REQUIRED=1\n");
  ASSERT_TRUE(client.state().start_connection());
  EXPECT_TRUE(eventually([&] { return client.state().saw("Logged in as alice"); }, 10s))
      << client.log();
  EXPECT_TRUE(eventually([&] { return client.in_channel(); }, 10s));
  EXPECT_TRUE(client.state().connection().socket().encrypted());
}

// Both log in with PLAIN; the key exchange and chat work through the server that the
// services and IRCv3 modules are loaded on.
TEST_F(ServicesLogin, PlainLoggedInClientsShareTheKeyAndChat) {
  Client alice(server->port(), "alice", "SASL_PLAINTEXT=1\nSASL_USER=alice\nSASL_PASS=alice-secret\nSASL_REQUIRED=1\n");
  ASSERT_TRUE(alice.state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice.holds_key(); }, 15s)) << alice.log();
  EXPECT_TRUE(alice.state().saw("Logged in as alice"));
  Client bob(server->port(), "bob", "SASL_PLAINTEXT=1\nSASL_USER=bob\nSASL_PASS=bob-secret\nSASL_REQUIRED=1\n");
  ASSERT_TRUE(bob.state().start_connection());
  ASSERT_TRUE(eventually([&] { return bob.holds_key(); }, 15s)) << bob.log();
  EXPECT_TRUE(bob.state().saw("Logged in as bob"));
  EXPECT_EQ(bob.state().security().channel_key(), alice.state().security().channel_key());
  alice.say("logged in and private");
  EXPECT_TRUE(bob.wait_for_text("logged in and private"));
  EXPECT_EQ(alice.log().find("alice-secret"), std::string::npos);
}

}  // namespace
}  // namespace velmora
