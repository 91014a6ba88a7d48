#include "irc/irc_message.h"

namespace velmora {
namespace {

std::string_view trim_left(std::string_view s) {
  std::size_t i = s.find_first_not_of(' ');
  return i == std::string_view::npos ? std::string_view{} : s.substr(i);
}

std::string_view trim_right(std::string_view s) {
  std::size_t i = s.find_last_not_of(' ');
  return i == std::string_view::npos ? std::string_view{} : s.substr(0, i + 1);
}

void split_prefix(IrcMessage& m, std::string_view prefix) {
  if (prefix.empty()) return;
  std::size_t bang = prefix.find('!');
  if (bang == std::string_view::npos) {
    m.nick = prefix.substr(1);
    m.user_host = prefix;
  } else {
    m.nick = prefix.substr(1, bang - 1);
    m.user_host = prefix.substr(bang + 1);
  }
}

// Fills params from the parameter text R (which always ends in a space).
void split_params(IrcMessage& m, std::string_view r) {
  bool has_colon = r.find(':') != std::string_view::npos;
  if (!r.empty() && r[0] == ':') {
    m.params.emplace_back(trim_right(r.substr(1)));
    return;
  }
  for (int i = 0; !r.empty(); ++i) {
    // The last slot takes whatever is left, so a long line never runs past it.
    bool last = i == IrcMessage::kMaxParams - 1;
    std::size_t space = r.find(' ');
    std::string_view word = space == 0 ? std::string_view(" ") : r.substr(0, space);
    if (has_colon && word[0] == ':') {
      m.params.emplace_back(trim_right(trim_left(r.substr(1))));
      m.trailing_index = i;
      return;
    }
    if (last) {
      m.params.emplace_back(trim_right(r));
      return;
    }
    m.params.emplace_back(word);
    r = trim_left(space == std::string_view::npos ? std::string_view{} : r.substr(space));
  }
}

}  // namespace

std::string_view without_tags(std::string_view line, std::string* tags) {
  if (line.empty() || line[0] != '@') return line;
  const std::size_t space = line.find(' ');
  if (tags) tags->assign(line.substr(1, space == std::string_view::npos ? line.npos : space - 1));
  if (space == std::string_view::npos) return {};
  return trim_left(line.substr(space));
}

// Grammar, as the parser reads a line L (no terminator):
//
//   line    = [ "@" tags SP+ ] [ ":" prefix SP ] command [ SP rest ]
//   prefix  = nick [ "!" user_host ]          ; nick = prefix when there is no "!"
//   rest    = ":" trailing                    ; the whole rest is params[0]
//           / *( middle SP+ ) [ ":" trailing ]
//
// - A line starting with ":" but holding no space has an empty prefix; its command
//   starts after the ":".
// - Without a prefix, the command is L up to its first space and is empty when L has
//   no space; the parameter text is then L without its first character ('ABC' gives
//   params[0] 'BC').
// - The parameter text R always gets one space appended. A leading space in R yields a
//   middle parameter of a single space (':n!u@h QUIT' gives params[0] " ").
// - A ":" word is the trailing parameter, trimmed of leading and trailing spaces; a
//   ":" inside a word ('a:b') does not start one. Middle separators may repeat.
// - At most 32 parameters: the 32nd slot takes the rest of the line.
// - Tags (sent only to clients that ask for them, and by some servers anyway) are taken
//   off first; everything else reads the rest as if they had never been there.
IrcMessage parse_line(std::string_view line) {
  IrcMessage m;
  line = without_tags(line, &m.tags);
  std::string_view prefix;
  std::size_t command_start = 0;
  if (!line.empty() && line[0] == ':') {
    std::size_t space = line.find(' ');
    if (space != std::string_view::npos) prefix = line.substr(0, space);
    command_start = prefix.size() + 1;
    std::size_t end = line.find(' ', command_start);
    m.command = line.substr(command_start, end == std::string_view::npos ? line.npos
                                                                        : end - command_start);
  } else {
    std::size_t space = line.find(' ');
    if (space != std::string_view::npos) m.command = line.substr(0, space);
  }
  std::size_t rest_start = prefix.empty() && command_start == 0
                               ? m.command.size() + 1
                               : prefix.size() + m.command.size() + 2;
  std::string rest(rest_start < line.size() ? line.substr(rest_start) : std::string_view{});
  rest += ' ';
  m.params.reserve(4);  // enough for most lines: one allocation
  split_params(m, rest);
  split_prefix(m, prefix);
  return m;
}

}  // namespace velmora
