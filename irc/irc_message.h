#pragma once
// One server line taken apart: message tags, prefix, command and up to 32 parameters.

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct IrcMessage {
  static constexpr int kMaxParams = 32;

  std::string nick;       // prefix up to its first "!" (whole prefix without ":" if none)
  std::string user_host;  // prefix after its first "!" (whole prefix with ":" if none)
  std::string command;    // as sent, no case folding
  // Only the slots the line fills (a message waits in the window's queue, so it stays
  // small); read them through param(), which gives "" for a slot beyond them.
  std::vector<std::string> params;
  int trailing_index = 0;  // slot of the ":" parameter; 0 when there is none
  std::string tags;        // the "@" tag block without the "@"; empty when none

  const std::string& param(std::size_t slot) const {
    static const std::string kNone;
    return slot < params.size() ? params[slot] : kNone;
  }
  // "The text" of a message: the body of PRIVMSG/NOTICE, a QUIT reason, the names of 353.
  const std::string& text() const { return param(static_cast<std::size_t>(trailing_index)); }
  bool operator==(const IrcMessage&) const = default;
};

// Pure function of one raw line without its terminator. Never fails.
IrcMessage parse_line(std::string_view line);

// The line without a leading "@tags " block (and the spaces after it); the line itself
// when it has none. `tags`, when given, receives the block without its "@".
std::string_view without_tags(std::string_view line, std::string* tags = nullptr);

}  // namespace velmora
