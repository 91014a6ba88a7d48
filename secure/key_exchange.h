#pragma once
// The channel key and the rules that share it among the Velmora users of a channel.
//
// ChannelSecurity is process-wide: the passphrase in use, the channel key with its own
// cipher (behind a lock, so the window thread always seals and opens chat lines under
// the channel key, whatever the receive thread is doing), and the Diffie-Hellman values
// of an outstanding request. It survives reconnection.
//
// KeyExchange is the receive thread's per-connection state and its rules; a new one is
// made for every connection. It uses cipher instances of its own for the passphrase key
// and the transport key.
//
// How this folder reports failure: a function that makes bytes or text (sealing and
// opening, hex, SHA-1, the Diffie-Hellman arithmetic, the random source) gives the empty
// result when it cannot, never a partial one; a check gives a bool; the SHA-1 steps
// keep their numbered statuses (sha1.h). The rules below never fail to their caller:
// what goes wrong with an exchange becomes a status text (ExchangeEnvironment::set_status)
// and a time-out moves on. Nothing here throws, and nothing writes to the terminal.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class PeerKeyTable;

// What the rules need from the program around them. Implemented by the application;
// tests implement it as a recorder.
class ExchangeEnvironment {
public:
  virtual ~ExchangeEnvironment() = default;
  // Sends and logs command + " " + target + " :" + text.
  virtual void send_message(const std::string& command, const std::string& target,
                            const std::string& text) = 0;
  virtual void set_status(const std::string& text, int seconds) = 0;
  virtual std::string current_nick() const = 0;
  virtual std::string current_channel() const = 0;
  // The channel's members without mode prefixes: the last names reply in server order,
  // kept current since from JOIN, PART, KICK, QUIT and NICK.
  virtual std::vector<std::string> channel_users() const = 0;
  virtual int max_users() const = 0;  // 0 = no limit
  virtual void mark_user_list_dirty() = 0;
};

class ChannelSecurity {
public:
  ChannelSecurity();
  ~ChannelSecurity();
  ChannelSecurity(const ChannelSecurity&) = delete;
  ChannelSecurity& operator=(const ChannelSecurity&) = delete;

  // At each connect: keep the passphrase; with an empty one the channel key becomes " "
  // (plain mode); otherwise the channel key is left as it is.
  void begin_connection(const std::string& passphrase);
  std::string passphrase() const;

  std::string channel_key() const;
  void set_channel_key(const std::string& key);  // also loads the channel cipher

  // The private exponent of this client's outstanding request (decimal text, empty when
  // no request is out).
  std::string private_exponent() const;
  void set_private_exponent(const std::string& private_exponent);

  // The texts to send to `channel` as PRIVMSG for one typed line: "@CRYPTO " + sealed
  // text, split into as many messages as needed so that each relayed line fits in 512
  // bytes; with an empty passphrase the line itself, unsealed. Nothing (an empty list)
  // while a passphrase is set but this client has no channel key yet.
  std::vector<std::string> seal_chat_line(std::string_view line, std::string_view channel) const;
  // "@CRYPTO ..." opened under the channel key; any other text unchanged.
  std::string open_chat_text(std::string_view text) const;

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

class KeyExchange {
public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;

  // `now` is the clock the request time-outs and the welcome pace are measured on.
  KeyExchange(ChannelSecurity& security, PeerKeyTable& peers, ExchangeEnvironment& env,
              Now now = Clock::now);
  ~KeyExchange();
  KeyExchange(const KeyExchange&) = delete;
  KeyExchange& operator=(const KeyExchange&) = delete;

  // Every rule, in order, for one parsed line (sender nick, command, trailing text).
  // True when the line is consumed and must not be shown.
  bool handle_message(const std::string& sender, const std::string& command,
                      const std::string& text);
  // After a complete names list has been stored.
  void handle_names_end();
  // Sends a key request to `nick` and marks the request as pending. Only the answer
  // of that holder (followed through nick changes) is accepted.
  void initiate_exchange(const std::string& nick);

  // Time-outs: a request unanswered for 10 s goes to the next holder; a new round of
  // requests starts 30 s after every holder was tried. The caller runs tick() when
  // next_deadline() has passed (and may run it at any other time).
  void tick();
  std::optional<Clock::time_point> next_deadline() const;

  // Whether an answer to `nick` still serves: not once it announced the key we hold.
  bool answer_wanted(const std::string& nick) const;

  bool exchange_pending() const;
  std::string exchange_partner() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
