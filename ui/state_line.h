#pragma once
// The state that stays shown while connected: the channel's privacy in one phrase
// ("Private: 4 Velmora users share your key", "2 members hold another key", "Waiting
// for the key…", "Not private: no passphrase") and the link's protection and account.

#include "ui/session_view.h"
#include "ui/surface.h"

namespace velmora {

StateLine state_line_for(const SessionView& view);

}  // namespace velmora
