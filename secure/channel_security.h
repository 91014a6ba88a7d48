#pragma once
// The channel key as the window thread uses it: chat lines sealed and opened under it,
// behind one lock, so a seal or an open never sees a key half loaded by another thread.
// Which key that is the key agreement decides (secure/key_agreement.h); the program
// loads each new one here.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class ChannelSecurity {
public:
  ChannelSecurity();
  ~ChannelSecurity();
  ChannelSecurity(const ChannelSecurity&) = delete;
  ChannelSecurity& operator=(const ChannelSecurity&) = delete;

  // At each connect: the passphrase in use; with an empty one the channel key becomes
  // " " (plain mode), otherwise it is left as it is.
  void begin_connection(const std::string& passphrase);
  std::string passphrase() const;

  std::string channel_key() const;
  void set_channel_key(const std::string& key);  // also loads the channel cipher

  // The texts to send to `channel` as PRIVMSG for one typed line: "@CRYPTO " + sealed
  // text, split into as many messages as needed so that each relayed line fits in 512
  // bytes; with an empty passphrase the line itself, unsealed. Nothing (an empty list)
  // while a passphrase is set but this client has no channel key yet.
  std::vector<std::string> seal_chat_line(std::string_view line, std::string_view channel) const;
  // "@CRYPTO ..." opened under the channel key, or nothing when it does not open (it
  // was sealed under another key, or made up); any other text unchanged.
  std::optional<std::string> open_chat_text(std::string_view text) const;

  // "/me" while a passphrase is set: the action's text sealed and split like a chat
  // line, each piece a CTCP action "\x01ACTION @CRYPTO <hex>\x01"; a peer that cannot
  // open it shows hex, never the words. Nothing without the channel key. Empty
  // passphrase: std::nullopt, the action goes out as typed.
  std::optional<std::vector<std::string>> seal_action(std::string_view text,
                                                      std::string_view channel) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A channel key as every client makes it: 56 printable ASCII characters (33..126).
// Anything else that comes out of an @XKEY was not sealed by a holder.
bool well_formed_channel_key(std::string_view key);

}  // namespace velmora
