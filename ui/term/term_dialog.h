#pragma once
// The connection dialog on a terminal: prompts on standard error, answers from
// standard input, with the window's checks and "#vm" prefix.

#include <cstdio>

#include "app/settings.h"
#include "ui/term/line_reader.h"

namespace velmora {

// Asks for channel, nick, server, port and passphrase. An empty answer keeps the value
// shown in brackets. A refused field is asked again (emptied first when the window
// would empty it). False when input ends first: the program then ends without
// connecting, as when the dialog is closed.
bool run_term_dialog(Settings& settings, LineReader& input, std::FILE* prompts);

}  // namespace velmora
