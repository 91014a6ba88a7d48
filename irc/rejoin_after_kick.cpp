#include "irc/rejoin_after_kick.h"

namespace velmora {

std::optional<RejoinAfterKick::Clock::duration> RejoinAfterKick::kicked(Clock::time_point now) {
  const bool again = last_kick_ && now - *last_kick_ < kMeant;
  last_kick_ = now;
  if (again) return std::nullopt;
  return kDelay;
}

}  // namespace velmora
