#include "secure/request_round.h"

#include <algorithm>

namespace velmora {

void RequestRound::asked(const std::string& nick, Clock::time_point now) {
  if (!tried(nick)) tried_.push_back(nick);
  answer_due_ = now + kAnswerWait;
  round_due_.reset();
}

void RequestRound::answer_started(Clock::time_point now) {
  if (answer_due_) answer_due_ = now + kAnswerWait;
}

void RequestRound::ended(Outcome outcome) {
  answer_due_.reset();
  if (outcome == Outcome::Refused) ++refusals_;
}

void RequestRound::finished() {
  answer_due_.reset();
  round_due_.reset();
}

bool RequestRound::tried(const std::string& nick) const {
  return std::find(tried_.begin(), tried_.end(), nick) != tried_.end();
}

void RequestRound::exhausted(Clock::time_point now) {
  answer_due_.reset();
  if (refused_by_all()) {
    round_due_.reset();
  } else {
    round_due_ = now + kRoundPause;
  }
}

std::optional<RequestRound::Clock::time_point> RequestRound::deadline() const {
  return answer_due_ ? answer_due_ : round_due_;
}

bool RequestRound::answer_overdue(Clock::time_point now) const {
  return answer_due_ && now >= *answer_due_;
}

bool RequestRound::next_round_due(Clock::time_point now) const {
  return round_due_ && now >= *round_due_;
}

void RequestRound::restart() {
  tried_.clear();
  refusals_ = 0;
  answer_due_.reset();
  round_due_.reset();
}

}  // namespace velmora
