// Arbitrary server lines through the parser: no crash, never more than 32 parameters,
// and the trailing index always names one of them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "irc/irc_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  velmora::IrcMessage m = velmora::parse_line(line);
  if (m.trailing_index < 0 || m.params.size() > velmora::IrcMessage::kMaxParams) std::abort();
  if (m.trailing_index > 0 && static_cast<std::size_t>(m.trailing_index) >= m.params.size()) std::abort();
  std::size_t total = m.nick.size() + m.command.size();
  for (const auto& p : m.params) total += p.size();
  // Every byte of a parameter comes from the line (plus the one appended space).
  if (m.command.size() > size || total > 3 * size + 64) std::abort();
  return 0;
}
