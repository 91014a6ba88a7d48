#include "ui/state_line.h"

namespace velmora {
namespace {

StateLine privacy_of(const SessionView& view) {
  using Tone = StateLine::Tone;
  const AgreementSnapshot& agreement = view.agreement;
  if (view.socket_closed) return {"Not connected", Tone::Neutral, {}};
  if (agreement.plain) return {"Not private: no passphrase", Tone::Warning, {}};
  if (!agreement.holds_key) return {"Waiting for the key\u2026", Tone::Neutral, {}};
  int sharing = 0;
  int other = 0;
  for (const MemberView& m : agreement.members) {
    sharing += m.key == MemberKey::Ours;
    other += m.key == MemberKey::Other;
  }
  if (other == 1) return {"1 member holds another key", Tone::Warning, {}};
  if (other > 1) return {std::to_string(other) + " members hold another key", Tone::Warning, {}};
  if (sharing < 2) return {"Private: you alone hold the key", Tone::Good, {}};
  return {"Private: " + std::to_string(sharing) + " Velmora users share your key", Tone::Good, {}};
}

std::string link_of(const SessionView& view) {
  std::string link;
  switch (view.link) {
    case LinkSecurity::Closed: return {};
    case LinkSecurity::Plain: link = "No TLS: the link to the server is plain"; break;
    case LinkSecurity::TlsVerified: link = "TLS, certificate verified"; break;
    case LinkSecurity::TlsUnchecked: link = "TLS, certificate not checked"; break;
  }
  if (!view.account.empty()) link += "; logged in as " + view.account;
  return link;
}

}  // namespace

StateLine state_line_for(const SessionView& view) {
  StateLine line = privacy_of(view);
  line.link = link_of(view);
  return line;
}

}  // namespace velmora
