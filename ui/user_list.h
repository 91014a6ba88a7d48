#pragma once
// The user list: rebuilt whole from the channel's users and what the key agreement
// knows each of them holds.

#include <vector>

#include "ui/session_view.h"
#include "ui/surface.h"

namespace velmora {

// One row per non-empty nick, in list order, with its mark and the mark in words; no
// rows while the socket is closed. Without a passphrase nobody holds a key.
std::vector<UserRow> build_user_rows(const SessionView& view);

}  // namespace velmora
