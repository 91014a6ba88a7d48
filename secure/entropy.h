#pragma once
// The randomness behind the key agreement's decisions: new channel keys (their checks
// decide which key wins) and random choices among holders. The program draws it from
// the operating system; a simulation draws it from a seed, so that any schedule it
// finds can be replayed.

#include <cstdint>
#include <string>

namespace velmora {

class Entropy {
public:
  virtual ~Entropy() = default;
  // 56 characters from A-Z a-z 0-9; empty when nothing random can be had.
  virtual std::string channel_key() = 0;
  // Uniform in [0, bound); 0 for a bound of 0.
  virtual std::uint32_t below(std::uint32_t bound) = 0;
};

// The operating system's CSPRNG.
Entropy& system_entropy();

// A reproducible stream from a 64-bit seed (splitmix64), for simulations and fuzzing.
class SeededEntropy : public Entropy {
public:
  explicit SeededEntropy(std::uint64_t seed) : state_(seed) {}
  std::string channel_key() override;
  std::uint32_t below(std::uint32_t bound) override;
  std::uint64_t next();

private:
  std::uint64_t state_;
};

}  // namespace velmora
