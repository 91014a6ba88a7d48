#pragma once
// Key agreements one situation at a time: a peer is the real machine with its own nick,
// seeded randomness and clock, and `deliver` hands what one peer sends to another as a
// server would (its nick as sender, private or to the channel).

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "secure/entropy.h"
#include "secure/key_agreement.h"

namespace velmora::test_support {

inline constexpr const char* kRoom = "#room";

struct Peer {
  using Time = KeyAgreement::Time;
  // Peers given the same `seed` make the same key.
  explicit Peer(std::string own, std::string passphrase = "pw",
                std::optional<std::uint64_t> seed = std::nullopt)
      : nick(std::move(own)),
        entropy(seed ? *seed : std::hash<std::string>{}(nick)),
        machine(entropy) {
    machine.connection_started(passphrase, 0, nick, kRoom, now);
  }
  // In the channel with these members (ourselves added): our names list came.
  void in_channel(const std::vector<std::string>& others) {
    std::vector<std::string> members(others.size() + 1, nick);
    std::copy(others.begin(), others.end(), members.begin());
    machine.names(members, now);
  }
  // A private or channel PRIVMSG from `sender`; true when it was a control text.
  bool hear(const std::string& sender, const std::string& text, bool to_channel = false) {
    return machine.text_received(sender, "PRIVMSG", to_channel, text, now);
  }
  // Time passes; the machine's deadlines act.
  void wait(std::chrono::milliseconds span) {
    now += span;
    machine.tick(now);
  }
  // Everything the machine has to send now.
  std::vector<AgreementLine> lines() {
    std::vector<AgreementLine> out;
    while (auto line = machine.next_line(now)) out.push_back(*line);
    return out;
  }
  std::vector<std::string> texts_to(const std::string& target) {
    std::vector<std::string> out;
    for (const AgreementLine& line : lines()) {
      if (line.target == target) out.push_back(line.text);
    }
    return out;
  }

  std::string nick;
  Time now = Time{} + std::chrono::hours(1);
  SeededEntropy entropy;
  KeyAgreement machine;
};

// What `from` sends now, heard by `to` (private lines to it, and channel lines).
inline void deliver(Peer& from, Peer& to) {
  for (const AgreementLine& line : from.lines()) {
    if (line.target == to.nick || line.target == kRoom) to.hear(from.nick, line.text, line.target == kRoom);
  }
}

}  // namespace velmora::test_support
