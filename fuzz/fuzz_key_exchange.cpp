// Arbitrary sequences of membership changes, control texts, passing time and lines
// handed out, through the key agreement from every start (holder, keyless, plain, a
// holder limit): no fault, no hang, never a key that is not well formed, a member
// table no larger than the nicks that joined, and lines handed out a few per event.
//
// Input: [start byte] then records separated by "\n", each
// [event byte][sender byte][marker byte][milliseconds byte] then the rest of the text.

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "secure/channel_security.h"
#include "secure/entropy.h"
#include "secure/key_agreement.h"

namespace {

using velmora::KeyAgreement;

const char* const kMarkers[] = {"@PUBLIC ", "@XPUBLIC ", "@XKEY ", "@BADAUTH ",
                               "@AUTHENTICATED", "@AUTHENTICATED ", "@CRYPTO ", ""};
const char* const kSenders[] = {"h", "x", "me", "", "outsider", "h_", "y"};

struct Run {
  velmora::SeededEntropy entropy{1};
  KeyAgreement machine{entropy};
  KeyAgreement::Time now = KeyAgreement::Time{} + std::chrono::hours(1);
  std::set<std::string> joined{"me", "h", "x"};
};

void run_record(Run& r, std::string_view record) {
  if (record.size() < 4) return;
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(record[i]); };
  const std::string sender = kSenders[byte(1) % 7];
  std::string text = kMarkers[byte(2) % 8];
  text.append(record.substr(4));
  r.now += std::chrono::milliseconds(byte(3) * 100);
  r.machine.tick(r.now);
  switch (byte(0) % 9) {
    case 0: r.machine.text_received(sender, "PRIVMSG", false, text, r.now); break;
    case 1: r.machine.text_received(sender, "PRIVMSG", true, text, r.now); break;
    case 2: r.machine.text_received(sender, "NOTICE", false, text, r.now); break;
    case 3:
      r.joined.insert(sender);
      r.machine.joined(sender, r.now);
      break;
    case 4: r.machine.left(sender, r.now); break;
    case 5:
      r.joined.insert(text);
      r.machine.renamed(sender, text, r.now);
      break;
    case 6: r.machine.names({"me", sender, "h"}, r.now); break;
    case 7: r.machine.own_nick_is(sender); break;
    default: break;
  }
  int handed_out = 0;
  while (r.machine.next_line(r.now)) {
    if (++handed_out > 8) __builtin_trap();  // lines go out a few per event, never a flood
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Run r;
  const std::uint8_t start = data[0] % 4;
  r.machine.connection_started(start == 3 ? "" : "pw", start == 2 ? 1 : 0, "me", "#c", r.now);
  if (start == 0 || start == 2) r.machine.names({"me"}, r.now);  // alone: a holder
  r.machine.names({"me", "h", "x"}, r.now);
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  for (std::size_t from = 0; from <= input.size();) {
    std::size_t end = input.find('\n', from);
    if (end == std::string_view::npos) end = input.size();
    run_record(r, input.substr(from, end - from));
    from = end + 1;
  }
  const std::string& key = r.machine.channel_key();
  if (start != 3 && !key.empty() && !velmora::well_formed_channel_key(key)) __builtin_trap();
  r.joined.insert(kSenders, kSenders + 7);
  if (r.machine.snapshot().members.size() > r.joined.size() + 1) __builtin_trap();
  return 0;
}
