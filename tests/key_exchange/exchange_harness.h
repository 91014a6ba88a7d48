#pragma once
// A recording environment, a client made of the three exchange objects, and an
// in-memory relay that routes messages the way an IRC server does.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "secure/key_exchange.h"
#include "secure/peer_key_table.h"

namespace velmora::test_support {

struct SentMessage {
  std::string command;
  std::string target;
  std::string text;
};

class RecordingEnvironment : public ExchangeEnvironment {
public:
  void send_message(const std::string& command, const std::string& target,
                    const std::string& text) override {
    std::lock_guard guard(lock_);
    sent.push_back({command, target, text});
  }
  void set_status(const std::string& text, int) override {
    std::lock_guard guard(lock_);
    statuses.push_back(text);
  }
  std::string current_nick() const override { return nick; }
  std::string current_channel() const override { return channel; }
  std::vector<std::string> channel_users() const override { return users; }
  int max_users() const override { return limit; }
  void mark_user_list_dirty() override { ++dirty_marks; }

  std::vector<SentMessage> take_sent() {
    std::lock_guard guard(lock_);
    std::vector<SentMessage> out;
    out.swap(sent);
    return out;
  }
  std::string last_status() const { return statuses.empty() ? "" : statuses.back(); }

  std::string nick;
  std::string channel = "#velmora";
  std::vector<std::string> users;
  int limit = 0;
  int dirty_marks = 0;
  std::vector<SentMessage> sent;
  std::vector<std::string> statuses;

private:
  std::mutex lock_;
};

struct Client {
  Client(const std::string& nick, const std::string& passphrase) {
    env.nick = nick;
    security.begin_connection(passphrase);
  }
  // A reconnection: the exchange state is per connection, the keys are not.
  void reconnect(const std::string& passphrase) {
    security.begin_connection(passphrase);
    exchange = make_exchange();
  }
  bool holds_key() const { return peers.get(env.nick) == 1; }
  // Moves the client's clock on and lets the time-outs act.
  void wait(std::chrono::seconds seconds) {
    now += seconds;
    exchange->tick();
  }

  RecordingEnvironment env;
  ChannelSecurity security;
  PeerKeyTable peers;
  KeyExchange::Clock::time_point now{};
  std::unique_ptr<KeyExchange> exchange = make_exchange();

private:
  std::unique_ptr<KeyExchange> make_exchange() {
    return std::make_unique<KeyExchange>(security, peers, env, [this] { return now; });
  }
};

// Routes what clients send: to the channel (every other member, sender as prefix) or
// to one nick; delivers JOIN, QUIT, NICK and names lists like a server.
class Relay {
public:
  explicit Relay(std::string channel = "#velmora") : channel_(std::move(channel)) {}

  void join(Client& client) {
    client.env.channel = channel_;
    members_.push_back(&client);
    refresh_user_lists();
    for (Client* member : members_) {
      member->exchange->handle_message(client.env.nick, "JOIN", channel_);
    }
    client.exchange->handle_names_end();
    pump();
  }

  // An ordinary IRC user: listed, says nothing.
  void add_plain_user(const std::string& nick) {
    plain_users_.push_back(nick);
    refresh_user_lists();
  }

  // Everyone's clock moves on before anything they send is delivered, as when clients
  // decide at about the same time.
  void wait_all(std::chrono::seconds seconds) {
    for (Client* member : std::vector<Client*>(members_)) member->wait(seconds);
    pump();
  }

  void quit(Client& client) {
    std::erase(members_, &client);
    refresh_user_lists();
    for (Client* member : members_) {
      member->exchange->handle_message(client.env.nick, "QUIT", "Client Quit");
    }
    pump();
  }

  void rename(Client& client, const std::string& new_nick) {
    const std::string old = client.env.nick;
    client.env.nick = new_nick;
    refresh_user_lists();
    for (Client* member : members_) {
      member->exchange->handle_message(old, "NICK", new_nick);
    }
  }

  // Delivers everything the clients sent, until all is quiet (bounded).
  void pump(int max_rounds = 100) {
    for (int round = 0; round < max_rounds; ++round) {
      bool any = false;
      for (Client* sender : std::vector<Client*>(members_)) {
        for (const SentMessage& m : sender->env.take_sent()) {
          any = true;
          deliver(*sender, m);
        }
      }
      if (!any) return;
    }
  }

  // The texts each member saw and did not consume.
  std::vector<std::pair<std::string, std::string>> shown;

private:
  void deliver(Client& sender, const SentMessage& m) {
    for (Client* member : members_) {
      bool to_member = m.target == channel_ ? member != &sender : m.target == member->env.nick;
      if (!to_member) continue;
      if (!member->exchange->handle_message(sender.env.nick, m.command, m.text)) {
        shown.emplace_back(member->env.nick, m.text);
      }
    }
  }

  void refresh_user_lists() {
    std::vector<std::string> nicks = plain_users_;
    for (Client* member : members_) nicks.push_back(member->env.nick);
    for (Client* member : members_) member->env.users = nicks;
  }

  std::string channel_;
  std::vector<Client*> members_;
  std::vector<std::string> plain_users_;
};

}  // namespace velmora::test_support
