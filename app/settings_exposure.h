#pragma once
// A settings file that holds a secret (the passphrase, a password) and can be read by
// other users of the machine gives the secret away: said once at start-up.

#include <string>

#include "app/settings.h"

namespace velmora {

// The warning for the file at `path` holding `settings`; empty when it holds no secret
// or only its owner can read it.
std::string settings_exposure_warning(const std::string& path, const Settings& settings);

}  // namespace velmora
