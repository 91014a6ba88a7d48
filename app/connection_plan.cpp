#include "app/connection_plan.h"

#include <algorithm>
#include <cctype>

namespace velmora {

TlsOptions tls_options_for(const Settings& s) {
  TlsOptions tls;
  tls.enabled = uses_tls(s);
  tls.verify = s.tls_verify != 0;
  tls.fingerprint = s.tls_fingerprint;
  tls.client_certificate = s.tls_cert;
  tls.trust_file = s.tls_ca;
  return tls;
}

RegistrationPlan registration_plan_for(const Settings& s, const std::string& channel) {
  RegistrationPlan plan;
  plan.channel = channel;
  plan.channel_key = s.channel_key;
  plan.nick = s.nick;
  plan.encrypted = uses_tls(s);
  plan.plaintext_allowed = s.sasl_plaintext == 1;
  plan.required = s.sasl_required == 1;
  std::string mechanism = s.sasl_mech;
  std::transform(mechanism.begin(), mechanism.end(), mechanism.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (mechanism == "EXTERNAL") {
    plan.mechanism = SaslMechanism::external;
  } else if (!s.sasl_user.empty() && !s.sasl_pass.empty()) {
    plan.mechanism = SaslMechanism::plain;
    plan.user = s.sasl_user;
    plan.password = s.sasl_pass;
  }
  return plan;
}

std::string unverified_tls_text(const Settings& s) {
  if (!uses_tls(s) || s.tls_verify != 0 || !s.tls_fingerprint.empty()) return {};
  return "TLS: the server's certificate is not checked (TLS_VERIFY=0)";
}

}  // namespace velmora
