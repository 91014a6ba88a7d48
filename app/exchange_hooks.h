#pragma once
// The key agreement (secure/key_agreement.h) wired to the program: what the receive
// thread reads goes in, the lines it hands out leave through the outbound queue at
// their turn, each new key is loaded into the channel cipher and its status texts go
// to the status line. Its next deadline is a timer on the program's scheduler.
//
// One lock around the machine: the receive thread, the scheduler (deadlines, and the
// send queue pulling lines) and the window (reading a snapshot) all reach it, each
// briefly.

#include <cstdint>
#include <mutex>
#include <optional>

#include "irc/receive_hooks.h"
#include "irc/scheduler.h"
#include "secure/key_agreement.h"

namespace velmora {

class AppState;
class Entropy;

class ExchangeHooks : public ReceiveHooks {
public:
  ExchangeHooks(AppState& state, Entropy& entropy);
  ~ExchangeHooks() override;
  // Disarms the timer; no deadline reaches the rest of the program after this.
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
  void deadline_passed();

  AppState& state_;
  std::mutex lock_;  // everything below
  KeyAgreement agreement_;
  std::uint64_t loaded_generation_ = 0;
  std::optional<KeyAgreement::Time> armed_for_;
  bool stopped_ = false;
  Timer timer_;
};

}  // namespace velmora
