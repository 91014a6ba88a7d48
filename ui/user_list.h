#pragma once
// The user list: rebuilt whole from the channel's users and who holds the channel key.

#include <functional>
#include <string>
#include <vector>

#include "ui/surface.h"

namespace velmora {

// One row per non-empty nick, in list order; no rows while the socket is closed.
std::vector<UserRow> build_user_rows(const std::vector<std::string>& users,
                                     const std::function<bool(const std::string&)>& holds_key,
                                     bool socket_closed);

}  // namespace velmora
