#pragma once
// Connects the receive thread to the key-exchange rules: a fresh KeyExchange for every
// connection, the channel's members kept current from JOIN, PART, KICK, QUIT and NICK
// (with names lists asked for one at a time), and a timer thread for the rules'
// time-outs. The rules run under one lock, from the receive thread or the timer.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "irc/channel_members.h"
#include "irc/receive_hooks.h"
#include "secure/key_exchange.h"

namespace velmora {

class AppState;

class ExchangeHooks : public ReceiveHooks {
public:
  explicit ExchangeHooks(AppState& state) : state_(state) {}
  ~ExchangeHooks() override;
  void connection_started() override;
  bool handle_message(const IrcMessage& message) override;
  bool prepare_for_window(IrcMessage& message) override;
  void names_stored(const std::vector<std::string>& users) override;
  void connection_ended() override;
  // See KeyExchange::answer_wanted; true between connections.
  bool answer_wanted(const std::string& nick);
  void registration_status(const std::string& text) override;

private:
  void follow_membership(const IrcMessage& message);
  void follow_forward(const std::string& channel);
  void store_members(const std::vector<std::string>& members);
  void request_names();
  void run_timer();
  void stop_timer();

  AppState& state_;
  std::mutex lock_;  // everything below
  std::unique_ptr<KeyExchange> exchange_;
  NamesRefresh names_refresh_;
  std::condition_variable timer_wake_;
  bool timer_stop_ = false;
  std::thread timer_;
};

}  // namespace velmora
