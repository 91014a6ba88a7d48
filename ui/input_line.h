#pragma once
// What a press of Return in the input line means: a command, a raw protocol line or a
// chat message. Pure: the window carries the result out.

#include <string>
#include <string_view>

namespace velmora {

struct InputAction {
  enum class Kind {
    Nothing,   // empty message, lone "/"
    SendLine,  // `line` goes out as typed or built, unsealed
    Message,   // `text` is echoed and sent to the channel (sealed when a passphrase is set)
    Action,    // "/me": `text` is echoed as an action and sent to the channel as one
    Warning,   // unsupported command: show the warning, send nothing
    ShowCheck, // "/check": show our key check in the view, send nothing
  };
  Kind kind = Kind::Nothing;
  std::string line;       // SendLine: the wire line without CR LF
  std::string text;       // Message, Action: the typed text
  std::string command;    // Warning: the lower-cased command word
};

// `channel` is the channel the client is in (for /topic and /me).
InputAction interpret_input(std::string_view typed, std::string_view channel);

inline constexpr std::string_view kWarningPrimary = "Command not supported";
// The warning's secondary text for `command`.
std::string unsupported_command_text(std::string_view command);

}  // namespace velmora
