#include "secure/chat_line_split.h"

#include <algorithm>

#include "secure/control_text.h"
#include "secure/seal.h"

namespace velmora {

namespace {

constexpr std::string_view kPrivmsgPart = " PRIVMSG ";
// " :" + kCryptoMarker + " " before the sealed hex.
constexpr std::size_t kTrailingPartSize = 2 + kCryptoMarker.size() + 1;
constexpr std::size_t kLineEndSize = 2;

bool utf8_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

std::size_t cut_position(std::string_view rest, std::size_t max_bytes) {
  const std::size_t space = rest.substr(0, max_bytes).rfind(' ');
  if (space != std::string_view::npos && space > 0) return space + 1;
  std::size_t cut = max_bytes;
  while (cut > 0 && utf8_continuation(rest[cut])) --cut;
  return cut > 0 ? cut : max_bytes;  // not UTF-8 at all: cut where it must
}

}  // namespace

std::size_t max_sealed_plain_size(std::string_view channel, std::size_t framing) {
  const std::size_t fixed = kRelayPrefixBudget + kPrivmsgPart.size() + channel.size() +
                            kTrailingPartSize + kLineEndSize + framing;
  const std::size_t hex_room = kIrcLineLimit > fixed ? kIrcLineLimit - fixed : 0;
  // sealed size 16 + 16 * (k / 8 + 1) must fit: k / 8 <= hex_room / 16 - 2.
  const std::size_t blocks = hex_room / 16;
  if (blocks < 2) return kBlockSize - 1;  // a channel name this long leaves no room anyway
  return kBlockSize * (blocks - 2) + kBlockSize - 1;
}

std::vector<std::string> split_chat_line(std::string_view line, std::size_t max_bytes) {
  max_bytes = std::max<std::size_t>(max_bytes, 1);
  std::vector<std::string> pieces;
  while (line.size() > max_bytes) {
    const std::size_t cut = cut_position(line, max_bytes);
    pieces.emplace_back(line.substr(0, cut));
    line.remove_prefix(cut);
  }
  pieces.emplace_back(line);
  return pieces;
}

}  // namespace velmora
