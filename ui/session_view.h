#pragma once
// What a face shows of the program's state, read as one copy per tick: the connection,
// who and where we are, the status text, the link's security, and the key agreement's
// view of every member. The window's rules work from this copy alone, so a face (or a
// second toolkit's face) needs nothing of the program below ui/.

#include <string>
#include <vector>

#include "secure/key_agreement.h"

namespace velmora {

// How the link to the server is protected.
enum class LinkSecurity {
  Closed,        // no connection
  Plain,         // no TLS: the network sees the lines (chat stays sealed)
  TlsVerified,   // TLS, the server's certificate checked
  TlsUnchecked,  // TLS, the certificate not checked (TLS_VERIFY=0)
};

struct SessionView {
  bool connecting = true;     // the connection thread has not yet connected
  bool socket_closed = true;
  bool reconnecting = false;  // waiting to reconnect after a drop
  bool offline_shown = true;  // the controls show the disconnected state
  std::string nick;
  std::string channel;
  bool in_channel = false;
  std::string title = "Velmora";
  std::string status;         // the status line's text
  LinkSecurity link = LinkSecurity::Closed;
  std::string account;        // the account we are logged in as; empty for none
  AgreementSnapshot agreement;
  std::vector<std::string> users;  // the channel's users (empty entries are skipped)

  // What the key agreement knows of `nick`; nullptr when it knows nothing.
  const MemberView* member(const std::string& nick) const {
    for (const MemberView& m : agreement.members) {
      if (m.nick == nick) return &m;
    }
    return nullptr;
  }
};

}  // namespace velmora
