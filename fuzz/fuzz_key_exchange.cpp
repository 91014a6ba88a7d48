// Arbitrary control texts through the exchange rules and the chat opener, in every
// state (holder, requested, agreed, plain): no fault, no hang.
//
// Input: [state byte][command byte][sender byte][marker byte] then the rest of the text.

#include <cstdint>
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
  std::vector<std::string> server_users() const override { return {"me", "h", "x"}; }
  std::vector<std::string> channel_users() const override { return {"me", "h", "x"}; }
  int max_users() const override { return limit; }
  void mark_user_list_dirty() override {}
  std::string last_sent;
  int limit = 0;
};

const char* const markers[] = {"@PUBLIC ", "@XPUBLIC ", "@XKEY ", "@BADAUTH ",
                               "@AUTHENTICATED", "@CRYPTO ", "", "@PUBLIC"};
const char* const commands[] = {"PRIVMSG", "NOTICE", "JOIN", "QUIT", "PART", "NICK"};
const char* const senders[] = {"h", "x", "me", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  velmora::ChannelSecurity security;
  velmora::PeerKeyTable peers;
  QuietEnvironment env;
  const std::uint8_t state = data[0] % 4;
  security.begin_connection(state == 3 ? "" : "pw");
  velmora::KeyExchange exchange(security, peers, env);
  if (state == 0) {  // holder
    security.set_channel_key(std::string(56, 'k'));
    peers.set("me", 1);
    env.limit = data[1] & 1;
  } else if (state >= 1) {  // requested from h (state 2: and h's value agreed)
    exchange.initiate_exchange("h");
    if (state == 2) exchange.handle_message("h", "PRIVMSG", "@XPUBLIC 12345678901234567890");
  }
  std::string text = markers[data[3] % 8];
  text.append(reinterpret_cast<const char*>(data + 4), size - 4);
  const std::string sender = senders[data[2] % 4];
  exchange.handle_message(sender, commands[data[1] % 6], text);
  exchange.handle_names_end();
  security.open_chat_text(text);
  security.seal_chat_line(text, "#c");
  return 0;
}
