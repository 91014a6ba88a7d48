// Arbitrary sequences of control texts, names lists and passing time through the
// exchange rules and the chat opener, from every state (holder, requested, agreed,
// plain): no fault, no hang, and never a channel key that is not well formed.
//
// Input: [state byte] then records separated by "\n", each
// [command byte][sender byte][marker byte][seconds byte] then the rest of the text.

#include <chrono>
#include <cstdint>
#include <string_view>
#include <string>
#include <vector>

#include "secure/key_exchange.h"
#include "secure/peer_key_table.h"

namespace {

class QuietEnvironment : public velmora::ExchangeEnvironment {
public:
  void send_message(const std::string&, const std::string&, const std::string& text) override {
    last_sent = text;
  }
  void set_status(const std::string&, int) override {}
  std::string current_nick() const override { return "me"; }
  std::string current_channel() const override { return "#c"; }
  std::vector<std::string> channel_users() const override { return {"me", "h", "x"}; }
  int max_users() const override { return limit; }
  void mark_user_list_dirty() override {}
  std::string last_sent;
  int limit = 0;
};

const char* const kMarkers[] = {"@PUBLIC ", "@XPUBLIC ", "@XKEY ", "@BADAUTH ",
                               "@AUTHENTICATED", "@CRYPTO ", "", "@PUBLIC"};
const char* const kCommands[] = {"PRIVMSG", "NOTICE", "JOIN", "QUIT", "PART", "NICK"};
const char* const kSenders[] = {"h", "x", "me", "", "outsider"};

void run_record(velmora::KeyExchange& exchange, velmora::ChannelSecurity& security,
                std::chrono::steady_clock::time_point& now, std::string_view record) {
  if (record.size() < 4) return;
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(record[i]); };
  std::string text = kMarkers[byte(2) % 8];
  text.append(record.substr(4));
  now += std::chrono::seconds(byte(3) % 64);
  exchange.tick();
  if (byte(0) % 7 == 6) {
    exchange.handle_names_end();
  } else {
    exchange.handle_message(kSenders[byte(1) % 5], kCommands[byte(0) % 7 % 6], text);
  }
  security.open_chat_text(text);
  security.seal_chat_line(text, "#c");
  security.seal_action(text, "#c");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  velmora::ChannelSecurity security;
  velmora::PeerKeyTable peers;
  QuietEnvironment env;
  std::chrono::steady_clock::time_point now{};
  const std::uint8_t state = data[0] % 4;
  security.begin_connection(state == 3 ? "" : "pw");
  velmora::KeyExchange exchange(security, peers, env, [&] { return now; });
  if (state == 0) {  // holder
    security.set_channel_key(std::string(56, 'k'));
    peers.set("me", 1);
    env.limit = data[0] & 4 ? 1 : 0;
  } else if (state >= 1) {  // requested from h (state 2: and h's value agreed)
    exchange.handle_names_end();
    exchange.initiate_exchange("h");
    if (state == 2) exchange.handle_message("h", "PRIVMSG", "@XPUBLIC 12345678901234567890");
  }
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  for (std::size_t start = 0; start <= input.size();) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    run_record(exchange, security, now, input.substr(start, end - start));
    start = end + 1;
  }
  const std::string key = security.channel_key();
  if (state != 3 && state != 0 && !key.empty() && !velmora::well_formed_channel_key(key)) {
    __builtin_trap();
  }
  return 0;
}
