#include "ui/app_session.h"

#include "app/connection_plan.h"

namespace velmora {
namespace {

LinkSecurity link_security(ServerConnection& connection, const Settings& settings) {
  if (connection.is_closed()) return LinkSecurity::Closed;
  if (!connection.encrypted()) return LinkSecurity::Plain;
  return unverified_tls_text(settings).empty() ? LinkSecurity::TlsVerified : LinkSecurity::TlsUnchecked;
}

}  // namespace

SessionView AppSession::view() const {
  ServerConnection& connection = app_.connection();
  SessionView v;
  v.connecting = app_.connecting();
  v.socket_closed = connection.is_closed();
  v.reconnecting = app_.reconnecting();
  v.offline_shown = app_.offline_shown();
  v.nick = app_.current_nick();
  v.channel = app_.current_channel();
  v.in_channel = !v.socket_closed && connection.channel_tracker().in_channel();
  // The window's title: the channel while we are in it, else the program's name.
  const Settings settings = app_.settings();
  if (v.in_channel) v.title = v.channel + ", " + settings.server + " - Velmora";
  v.status = app_.status_text();
  v.link = link_security(connection, settings);
  if (!v.socket_closed) v.account = connection.account();
  v.agreement = app_.agreement_snapshot();
  // The passphrase this connection uses: the key agreement learns it only once the
  // receive thread starts, after the socket has opened.
  v.agreement.plain = app_.security().passphrase().empty();
  v.users = app_.channel_users();
  return v;
}

}  // namespace velmora
