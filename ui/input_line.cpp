#include "ui/input_line.h"

#include <algorithm>

namespace velmora {
namespace {

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  });
  return out;
}

// `text` from 0-based `pos` on; empty when it is shorter.
std::string_view from(std::string_view text, std::size_t pos) {
  return pos < text.size() ? text.substr(pos) : std::string_view{};
}

InputAction send(std::string line) {
  InputAction action;
  action.kind = InputAction::Kind::SendLine;
  action.line = std::move(line);
  return action;
}

InputAction topic_line(std::string_view typed, std::string_view channel) {
  const std::size_t space = typed.find(' ');
  std::string line = "topic " + std::string(channel);
  if (space != std::string_view::npos) line += " :" + std::string(typed.substr(space + 1));
  return send(std::move(line));
}

// "/msg target words": the target keeps its trailing space, the words become the text.
InputAction msg_line(std::string_view typed) {
  const std::string_view rest = from(typed, 5);
  const std::size_t space = rest.find(' ');
  const std::size_t split = space == std::string_view::npos ? 0 : space + 1;
  return send("privmsg " + std::string(rest.substr(0, split)) + ":" +
              std::string(rest.substr(split)));
}

// "/join [channel] [key]": our own channel when the first word is not a channel name.
InputAction join_line(std::string_view typed, std::string_view channel) {
  std::string_view rest = from(typed, 6);
  const bool named = !rest.empty() && std::string_view("#&+!").find(rest[0]) != std::string_view::npos;
  std::string line = "JOIN ";
  if (!named) line += std::string(channel) + (rest.empty() ? "" : " ");
  return send(line + std::string(rest));
}

InputAction me_line(std::string_view typed) {
  InputAction action;
  action.kind = InputAction::Kind::Action;
  action.text = std::string(from(typed, 4));
  return action;
}

InputAction command(std::string_view typed, std::string_view channel) {
  if (typed.size() == 1) return {};
  const std::string word = ascii_lower(typed.substr(1, typed.find(' ') - 1));
  if (word == "nick") return send(std::string(typed.substr(1)));
  if (word == "topic") return topic_line(typed, channel);
  if (word == "msg") return msg_line(typed);
  if (word == "join") return join_line(typed, channel);
  if (word == "me") return me_line(typed);
  if (word == "check") return {InputAction::Kind::ShowCheck, {}, {}, {}};
  InputAction warning;
  warning.kind = InputAction::Kind::Warning;
  warning.command = word;
  return warning;
}

}  // namespace

InputAction interpret_input(std::string_view typed, std::string_view channel) {
  if (typed.starts_with("//")) return send(std::string(typed.substr(2)));
  if (typed.starts_with('/')) return command(typed, channel);
  if (typed.empty()) return {};
  InputAction message;
  message.kind = InputAction::Kind::Message;
  message.text = std::string(typed);
  return message;
}

std::string unsupported_command_text(std::string_view command) {
  return "The command '" + std::string(command) + "' is not supported by Velmora.";
}

}  // namespace velmora
