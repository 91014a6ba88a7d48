#pragma once
// What the settings ask of one connection: its TLS options and how it registers.

#include "app/settings.h"
#include "irc/registration.h"
#include "net/tls_options.h"

namespace velmora {

TlsOptions tls_options_for(const Settings& settings);

// EXTERNAL when SASL_MECH says so (it needs TLS_CERT), PLAIN when SASL_USER and
// SASL_PASS are set, else no account login.
RegistrationPlan registration_plan_for(const Settings& settings, const std::string& channel);

// The status shown at every connect that does not check the server's certificate;
// empty when it is checked (or the connection is plain).
std::string unverified_tls_text(const Settings& settings);

}  // namespace velmora
