// Server lines through the receive thread's own rules (names replies, pings, queries)
// and into the window's queue: no crash, the stored names stay within their bounds,
// and what is queued comes out in order with nothing empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "irc/chat_log.h"
#include "irc/receive_loop.h"
#include "irc/server_connection.h"

namespace {

// One connection for the whole run: it starts threads, and is never connected.
velmora::ServerConnection& connection() {
  static velmora::ChatLog log("/dev/null");
  static velmora::ServerConnection conn(log, nullptr);
  return conn;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmora::ServerConnection& conn = connection();
  velmora::ReceiveLoop loop(conn);
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t published = 0;
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    const std::string line(input.substr(0, end));
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    loop.handle_line(line);
    published += !line.empty();
  }
  std::size_t bytes = 0;
  for (const std::string& user : conn.users()) {
    if (user.size() > velmora::kMaxNickBytes) std::abort();
    bytes += user.size() + sizeof(std::string);
  }
  if (bytes > velmora::kMaxNamesBytes) std::abort();
  std::size_t popped = 0;
  for (std::string line; !(line = conn.pop_line()).empty(); ++popped) {}
  if (popped > published) std::abort();
  return 0;
}
