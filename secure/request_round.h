#pragma once
// The joiner's bookkeeping while it looks for a holder to ask for the channel key:
// who was asked in this round and how it ended, when the request in flight runs out,
// and when a new round may start. Plain values in, plain answers out; the rules in
// key_exchange.cpp act on them.
//
// A round asks each listed holder at most once. A holder that does not answer within
// kAnswerWait, or whose answer does not open to a well-formed key, is passed over for
// the next one; when every holder was tried the round ends and a new one starts after
// kRoundPause. A round in which every holder refused our passphrase ends for good:
// asking again cannot help.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class RequestRound {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kAnswerWait{10};
  static constexpr std::chrono::seconds kRoundPause{30};
  // How long a joiner waits for a welcome before it asks a holder it knows of, or, with
  // no holder in the channel (only ordinary IRC users), makes the key itself.
  static constexpr std::chrono::seconds kWelcomeWait{5};

  enum class Outcome { NoAnswer, Failed, Refused };

  // A request went to `nick` at `now`.
  void asked(const std::string& nick, Clock::time_point now);
  // The holder asked sent its public value: the key itself must follow in time.
  void answer_started(Clock::time_point now);
  // The request in flight ended without a key.
  void ended(Outcome outcome);
  // The key arrived: nothing more to wait for.
  void finished();

  bool tried(const std::string& nick) const;
  // Every holder has been tried; `now` starts the pause before the next round, unless
  // all of them refused.
  void exhausted(Clock::time_point now);
  bool refused_by_all() const { return !tried_.empty() && refusals_ == tried_.size(); }

  // When the request in flight runs out, or when the next round may start.
  std::optional<Clock::time_point> deadline() const;
  bool answer_overdue(Clock::time_point now) const;
  bool next_round_due(Clock::time_point now) const;
  // A new round: everyone may be asked again.
  void restart();
  // No request yet: look for a holder at `when` if no welcome has come by then.
  void start_round_at(Clock::time_point when) { round_due_ = when; }

private:
  std::vector<std::string> tried_;
  std::size_t refusals_ = 0;
  std::optional<Clock::time_point> answer_due_;
  std::optional<Clock::time_point> round_due_;
};

}  // namespace velmora
