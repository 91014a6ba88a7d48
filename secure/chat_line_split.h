#pragma once
// Long chat lines go out as several "@CRYPTO" messages, each a complete sealed text, so
// that every line the server relays to the channel fits the 512-byte IRC limit.

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Room left for the sender's prefix ":nick!user@host" on a relayed line; generous
// (nick 30, user 10, host 63) because we cannot know how the server writes us.
inline constexpr std::size_t kRelayPrefixBudget = 1 + 30 + 1 + 10 + 1 + 63;
inline constexpr std::size_t kIrcLineLimit = 512;

// The most plain bytes one "@CRYPTO" message to `channel` may seal; `framing` bytes
// around the sealed text (a CTCP action's) take their share of the line.
std::size_t max_sealed_plain_size(std::string_view channel, std::size_t framing = 0);

// Pieces of at most `max_bytes` bytes whose concatenation is the line: cut after the
// last space that fits where there is one, and never inside a UTF-8 sequence. The
// empty line is one empty piece.
std::vector<std::string> split_chat_line(std::string_view line, std::size_t max_bytes);

}  // namespace velmora
