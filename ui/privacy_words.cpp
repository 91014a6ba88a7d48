#include "ui/privacy_words.h"

namespace velmora {

std::string_view mark_label(LinePrivacy privacy) {
  switch (privacy) {
    case LinePrivacy::Sealed: return "private";
    case LinePrivacy::Plain: return "not private";
    case LinePrivacy::Direct: return "direct";
    case LinePrivacy::OtherKey: return "another key";
    case LinePrivacy::None: break;
  }
  return {};
}

std::string_view mark_explanation(LinePrivacy privacy) {
  switch (privacy) {
    case LinePrivacy::Sealed:
      return "Private: sealed under your channel key; only the Velmora users who share it can read it.";
    case LinePrivacy::Plain:
      return "Not private: unsealed in the channel; everyone there and the server can read it, "
             "and anyone can send a line like it.";
    case LinePrivacy::Direct:
      return "A message to you alone, not sealed: the server can read it.";
    case LinePrivacy::OtherKey:
      return "Sealed under a key you do not hold: it cannot be read here.";
    case LinePrivacy::None: break;
  }
  return {};
}

std::string grouped_check(std::string_view check) {
  std::string out;
  for (std::size_t i = 0; i < check.size(); ++i) {
    if (i > 0 && i % 4 == 0) out += ' ';
    out += check[i];
  }
  return out;
}

std::string member_note(const MemberView& member, const AgreementSnapshot& agreement) {
  if (agreement.plain) return "No passphrase: nothing is sealed";
  switch (member.key) {
    case MemberKey::Ours:
      return "Holds your key: check " + grouped_check(agreement.own_check);
    case MemberKey::Other:
      if (member.unopened || member.check.empty()) {
        return "Holds a different key: a line it sealed does not open under yours";
      }
      return "Holds a different key: it announced check " + grouped_check(member.check) +
             ", yours is " + grouped_check(agreement.own_check);
    case MemberKey::Unchecked:
      return "Holds a key it does not name (an older Velmora): it cannot be compared with yours";
    case MemberKey::Waiting:
      return "No key yet: a Velmora user waiting for the key";
    case MemberKey::Ordinary:
      break;
  }
  return "An ordinary IRC user, as far as anyone said: sees sealed lines as hex";
}

std::string unopened_line_text(std::string_view nick, const SessionView& view) {
  const std::string who(nick);
  if (view.agreement.plain) return "(sealed under another key: you set no passphrase, so it cannot be read here)";
  return "(sealed under another key: " + who + " holds a different key; if it lasts, compare /check with " +
         who + ")";
}

std::vector<std::string> key_check_lines(const SessionView& view) {
  const AgreementSnapshot& agreement = view.agreement;
  if (agreement.plain) return {"No passphrase is set: nothing is sealed, there is no key to check."};
  if (!agreement.holds_key) return {"You hold no key yet: there is no key check to compare."};
  std::vector<std::string> lines{
      "Your key check: " + grouped_check(agreement.own_check),
      "Read it to the others: whoever sees the same digits with /check holds your key."};
  for (const MemberView& m : agreement.members) {
    if (m.key == MemberKey::Other && !m.check.empty()) {
      lines.push_back(m.nick + " announced " + grouped_check(m.check) + ": a different key.");
    }
  }
  return lines;
}

}  // namespace velmora
