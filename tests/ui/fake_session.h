#pragma once
// A ChatSession whose state the test sets directly; it records what the rules send.

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "irc/change_signal.h"
#include "irc/inbound_queue.h"
#include "ui/chat_session.h"

namespace velmora::test_support {

// One item waiting for the view: a line as received, with who could read it, or a note.
struct Queued {
  Queued(const char* line) : line(line) {}
  Queued(std::string line, LinePrivacy privacy = LinePrivacy::None)
      : line(std::move(line)), privacy(privacy) {}
  Queued(ViewNote note) : note(std::move(note)) {}
  std::string line;
  LinePrivacy privacy = LinePrivacy::None;
  std::optional<ViewNote> note;
};

class FakeSession : public ChatSession {
public:
  SessionView view() const override {
    SessionView v;
    v.connecting = connecting_;
    v.socket_closed = closed;
    v.offline_shown = offline;
    v.nick = nick;
    v.channel = channel;
    v.in_channel = !closed;
    v.title = title;
    v.status = status;
    v.link = closed ? LinkSecurity::Closed : link;
    v.account = account;
    v.agreement = agreement;
    v.agreement.plain = passphrase.empty();
    v.users = users;
    return v;
  }
  int queued_count() const override { return static_cast<int>(queue.size()); }
  ReceivedLine pop_item() override {
    if (queue.empty()) return {};
    Queued q = std::move(queue.front());
    queue.pop_front();
    if (q.note) return ReceivedLine(std::move(*q.note));
    ReceivedLine line(q.line);
    line.privacy = q.privacy;
    return line;
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
  void set_status(const std::string& text) override { status = text; }
  bool wait_socket_closed(std::chrono::milliseconds) override {
    ++close_waits;
    return closed;
  }

  bool take_user_list_dirty() override { return std::exchange(dirty, false); }
  void mark_user_list_dirty() override { dirty = true; }
  void set_offline_shown(bool shown) override { offline = shown; }
  void set_shutting_down() override { shutting_down = true; }
  std::string take_raw_log() override { return std::exchange(raw_log, {}); }
  int change_fd() const override { return changes ? changes->fd() : -1; }
  void drain_changes() override {
    ++drains;
    if (changes) changes->drain();
  }

  // What the key agreement knows of `who` (added, or changed in place).
  void set_member(const std::string& who, MemberKey key, const std::string& check = {}) {
    for (MemberView& m : agreement.members) {
      if (m.nick == who) {
        m.key = key;
        m.check = check;
        return;
      }
    }
    agreement.members.push_back({who, key, check, false});
  }
  // Makes this client a connected key holder.
  void hold_key() {
    connecting_ = false;
    closed = false;
    agreement.holds_key = true;
    agreement.own_check = kOwnCheck;
    set_member(nick, MemberKey::Ours, kOwnCheck);
  }

  static constexpr const char* kOwnCheck = "0123456789ABCDEF";

  bool connecting_ = true;
  bool closed = true;
  std::deque<Queued> queue;
  std::vector<std::string> sent;
  int connections_started = 0;
  int close_waits = 0;
  std::string nick = "me";
  std::string channel = "#room";
  std::string passphrase = "secret";
  AgreementSnapshot agreement;
  std::vector<std::string> users;
  bool dirty = false;
  bool offline = true;
  bool shutting_down = false;
  std::string status;
  std::string title = "Velmora";
  LinkSecurity link = LinkSecurity::TlsVerified;
  std::string account;
  std::string raw_log;
  ChangeSignal* changes = nullptr;  // none: the face never sleeps
  int drains = 0;                   // one per tick
};

}  // namespace velmora::test_support
