#pragma once
// The user list: rebuilt whole from the channel's users and who holds the channel key.

#include <string>
#include <vector>

#include "ui/surface.h"

namespace velmora {

class PeerKeyTable;

inline constexpr const char* kSecuredIcon = "gtk-yes";
inline constexpr const char* kUnsecuredIcon = "gtk-no";

// One row per non-empty nick, in list order; no rows while the socket is closed.
std::vector<UserRow> build_user_rows(const std::vector<std::string>& users,
                                     const PeerKeyTable& peers, bool socket_closed);

// The sum of the table's entries over the non-empty nicks: how many listed users hold
// the channel key.
int count_secured_users(const std::vector<std::string>& users, const PeerKeyTable& peers);

}  // namespace velmora
