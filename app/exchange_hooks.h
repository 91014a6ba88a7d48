#pragma once
// The key agreement (secure/key_agreement.h) wired to the program: what the receive
// thread reads goes in, the lines it hands out leave through the outbound queue at
// their turn, each new key is loaded into the channel cipher and its status texts go
// to the status line. A timer thread runs its deadlines.
//
// One lock around the machine: the receive thread, the timer, the send thread (pulling
// lines) and the window (reading a snapshot) all reach it, each briefly.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "irc/receive_hooks.h"
#include "secure/key_agreement.h"

namespace velmora {

class AppState;
class Entropy;

class ExchangeHooks : public ReceiveHooks {
public:
  ExchangeHooks(AppState& state, Entropy& entropy);
  ~ExchangeHooks() override;
  // Stops the timer; nothing reaches the rest of the program after this.
  void stop();

  void connection_started() override;
  void member_event(const MemberEvent& event) override;
  bool handle_message(const IrcMessage& message) override;
  bool prepare_for_window(ReceivedLine& line) override;
  void names_stored(const std::vector<std::string>& users) override;
  void registration_status(const std::string& text, bool refusal) override;
  void connection_ended() override;

  // The outbound queue's source: the next line of the key agreement, ready to send.
  std::optional<std::string> next_line();
  bool holds_key();
  AgreementSnapshot snapshot();

private:
  // Under lock_: the key, statuses and deadlines after any change.
  void publish(bool wake_sender = true);
  void run_timer();

  AppState& state_;
  std::mutex lock_;  // everything below
  KeyAgreement agreement_;
  std::uint64_t loaded_generation_ = 0;
  std::condition_variable timer_wake_;
  bool timer_stop_ = false;
  std::thread timer_;
};

}  // namespace velmora
