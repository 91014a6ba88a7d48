#include "secure/entropy.h"

#include "secure/random_source.h"

namespace velmora {
namespace {

class SystemEntropy : public Entropy {
public:
  std::string channel_key() override { return random_string(); }
  std::uint32_t below(std::uint32_t bound) override { return random_below(bound); }
};

constexpr std::string_view kKeyAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kChannelKeySize = 56;

}  // namespace

Entropy& system_entropy() {
  static SystemEntropy entropy;
  return entropy;
}

std::uint64_t SeededEntropy::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t SeededEntropy::below(std::uint32_t bound) {
  return bound == 0 ? 0 : static_cast<std::uint32_t>(next() % bound);
}

std::string SeededEntropy::channel_key() {
  std::string key(kChannelKeySize, ' ');
  for (char& c : key) c = kKeyAlphabet[below(static_cast<std::uint32_t>(kKeyAlphabet.size()))];
  return key;
}

}  // namespace velmora
