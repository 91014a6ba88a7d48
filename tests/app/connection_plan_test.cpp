// What the settings file makes of a connection: TLS or not, and which account login.
#include <gtest/gtest.h>

#include "app/connection_plan.h"

namespace velmora {
namespace {

TEST(ConnectionPlan, TlsFollowsTheTlsLineElseThePort) {
  const struct {
    const char* text;
    bool tls;
  } cases[] = {
      {"PORT=6667", false},           {"PORT=6697", true},
      {"PORT=6697\nTLS=0", false},    {"PORT=6667\nTLS=1", true},
      {"TLS=1\nPORT=7000", true},     {"", false},
      {"PORT=6697\nTLS=yes", false},  // only 1 means on, as for every switch
  };
  for (const auto& c : cases) EXPECT_EQ(uses_tls(parse_settings(c.text)), c.tls) << c.text;
}

TEST(ConnectionPlan, TlsOptionsAndTheUncheckedWarning) {
  Settings s = parse_settings("PORT=6697\nTLS_VERIFY=0\nTLS_CERT=/c.pem\nTLS_CA=/ca.pem");
  TlsOptions tls = tls_options_for(s);
  EXPECT_TRUE(tls.enabled);
  EXPECT_FALSE(tls.verify);
  EXPECT_EQ(tls.client_certificate, "/c.pem");
  EXPECT_EQ(tls.trust_file, "/ca.pem");
  EXPECT_EQ(unverified_tls_text(s), "TLS: the server's certificate is not checked (TLS_VERIFY=0)");
  EXPECT_EQ(unverified_tls_text(parse_settings("PORT=6697")), "");
  EXPECT_EQ(unverified_tls_text(parse_settings("PORT=6667\nTLS_VERIFY=0")), "") << "plain";
  EXPECT_EQ(unverified_tls_text(parse_settings("TLS=1\nTLS_VERIFY=0\nTLS_FINGERPRINT=ab")), "")
      << "a pinned certificate is checked";
}

TEST(ConnectionPlan, AccountLoginMechanism) {
  const struct {
    const char* text;
    SaslMechanism mechanism;
    bool required;
  } cases[] = {
      {"", SaslMechanism::none, false},
      {"SASL_USER=a", SaslMechanism::none, false},
      {"SASL_USER=a\nSASL_PASS=p", SaslMechanism::plain, false},
      {"SASL_USER=a\nSASL_PASS=p\nSASL_REQUIRED=1", SaslMechanism::plain, true},
      {"TLS_CERT=/c.pem\nSASL_MECH=external", SaslMechanism::external, false},
  };
  for (const auto& c : cases) {
    RegistrationPlan plan = registration_plan_for(parse_settings(c.text), "#room");
    EXPECT_EQ(plan.mechanism, c.mechanism) << c.text;
    EXPECT_EQ(plan.required, c.required) << c.text;
    EXPECT_EQ(plan.channel, "#room");
  }
}

}  // namespace
}  // namespace velmora
