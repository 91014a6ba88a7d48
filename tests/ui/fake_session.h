#pragma once
// A ChatSession whose state the test sets directly; it records what the rules send.

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "irc/change_signal.h"
#include "irc/irc_message.h"
#include "secure/peer_key_table.h"
#include "ui/chat_session.h"

namespace velmora::test_support {

class FakeSession : public ChatSession {
public:
  bool connecting() const override { return connecting_; }
  bool socket_closed() const override { return closed; }
  int queued_count() const override { return static_cast<int>(queue.size()); }
  IrcMessage pop_message() override {
    if (queue.empty()) return {};
    IrcMessage m = parse_line(queue.front());
    queue.pop_front();
    return m;
  }
  void send_line(const std::string& line) override { sent.push_back(line); }
  // Seals "<text>" as "@CRYPTO sealed(<text>)" while a passphrase is set.
  void send_chat_line(std::string_view text) override {
    const std::string t(text);
    sent.push_back("PRIVMSG " + channel + " :" + (passphrase.empty() ? t : "@CRYPTO sealed(" + t + ")"));
  }
  void send_action(std::string_view text) override {
    const std::string t(text);
    sent.push_back(passphrase.empty() ? "privmsg " + channel + " :\x01" "action " + t + "\x01"
                                      : "PRIVMSG " + channel + " :\x01" "ACTION @CRYPTO sealed(" + t + ")\x01");
  }
  void start_connection() override { ++connections_started; }
  bool chat_ready() const override { return passphrase.empty() || peers.get(nick) == 1; }
  void set_status(const std::string& text) override { status = text; }
  bool wait_socket_closed(std::chrono::milliseconds) override {
    ++close_waits;
    return closed;
  }

  std::string current_nick() const override { return nick; }
  std::string current_channel() const override { return channel; }

  bool holds_key(const std::string& n) const override { return peers.get(n) == 1; }

  std::vector<std::string> channel_users() const override { return users; }
  bool take_user_list_dirty() override { return std::exchange(dirty, false); }
  void mark_user_list_dirty() override { dirty = true; }
  bool offline_shown() const override { return offline; }
  void set_offline_shown(bool shown) override { offline = shown; }
  void set_shutting_down() override { shutting_down = true; }
  std::string status_text() const override { return status; }
  std::string take_raw_log() override { return std::exchange(raw_log, {}); }
  std::optional<std::string> take_pending_title() override {
    return std::exchange(pending_title, std::nullopt);
  }
  int change_fd() const override { return changes ? changes->fd() : -1; }
  void drain_changes() override {
    ++drains;
    if (changes) changes->drain();
  }

  // Makes this client a connected key holder.
  void hold_key() {
    connecting_ = false;
    closed = false;
    peers.set(nick, 1);
  }

  bool connecting_ = true;
  bool closed = true;
  std::deque<std::string> queue;
  std::vector<std::string> sent;
  int connections_started = 0;
  int close_waits = 0;
  std::string nick = "me";
  std::string channel = "#room";
  std::string passphrase = "secret";
  PeerKeyTable peers;
  std::vector<std::string> users;
  bool dirty = false;
  bool offline = true;
  bool shutting_down = false;
  std::string status;
  std::string raw_log;
  std::optional<std::string> pending_title;
  ChangeSignal* changes = nullptr;  // none: the face never sleeps
  int drains = 0;                   // one per tick
};

}  // namespace velmora::test_support
