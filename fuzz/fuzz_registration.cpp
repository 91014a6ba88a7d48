// Server lines (CAP and AUTHENTICATE replies, SASL numerics, tagged lines) through the
// parser and registration: no crash, nothing we send carries a line break, nothing is
// sent once we gave up, and a status is short and shows the password only if the
// server's own line held it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "irc/irc_message.h"
#include "irc/registration.h"
#include "irc/secret_mask.h"

namespace {

constexpr char kPassword[] = "pw-Zq9";

velmora::RegistrationPlan plan_from(std::uint8_t choice) {
  velmora::RegistrationPlan plan;
  plan.channel = "#room";
  plan.mechanism = static_cast<velmora::SaslMechanism>(choice % 3);
  plan.user = "alice";
  plan.password = kPassword;
  plan.required = (choice & 4) != 0;
  return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  velmora::Registration registration(plan_from(data[0]));
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  bool gave_up = false;
  bool quoted = false;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    velmora::RegistrationStep step = registration.handle(velmora::parse_line(line));
    if (gave_up && (!step.send.empty() || step.join)) std::abort();
    for (const std::string& sent : step.send) {
      if (sent.find_first_of("\r\n") != std::string::npos) std::abort();
      if (velmora::mask_secrets(sent).find(kPassword) != std::string::npos) std::abort();
    }
    // A status may quote the server's words (this line's, or an account name an
    // earlier line gave), but never adds the password to them.
    quoted |= line.find(kPassword) != std::string_view::npos;
    if (!quoted && step.status.find(kPassword) != std::string::npos) std::abort();
    if (step.status.size() > 400) std::abort();
    gave_up |= step.give_up;
  }
  return 0;
}
