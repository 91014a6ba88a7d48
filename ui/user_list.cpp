#include "ui/user_list.h"

#include "secure/peer_key_table.h"
#include "ui/display_text.h"

namespace velmora {

std::vector<UserRow> build_user_rows(const std::vector<std::string>& users,
                                     const PeerKeyTable& peers, bool socket_closed) {
  std::vector<UserRow> rows;
  if (socket_closed) return rows;
  for (const std::string& nick : users) {
    if (nick.empty()) continue;
    rows.push_back({peers.get(nick) == 1 ? kSecuredIcon : kUnsecuredIcon, display_text(nick)});
  }
  return rows;
}

int count_secured_users(const std::vector<std::string>& users, const PeerKeyTable& peers) {
  int count = 0;
  for (const std::string& nick : users) {
    if (!nick.empty()) count += peers.get(nick);
  }
  return count;
}

}  // namespace velmora
