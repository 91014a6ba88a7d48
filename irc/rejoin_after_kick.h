#pragma once
// After a kick from our channel we join again once, a little later; a second kick
// within a minute of the first is taken as meant, and we stay out. Rejoining at once
// and for ever is how a client gets banned.

#include <chrono>
#include <optional>

namespace velmora {

class RejoinAfterKick {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kDelay{5};
  static constexpr std::chrono::seconds kMeant{60};

  // We were kicked at `now`: how long to wait before joining again, or nothing.
  std::optional<Clock::duration> kicked(Clock::time_point now);

private:
  std::optional<Clock::time_point> last_kick_;
};

}  // namespace velmora
