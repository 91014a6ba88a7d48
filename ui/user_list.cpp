#include "ui/user_list.h"

#include <string_view>
#include <unordered_map>

#include "ui/display_text.h"
#include "ui/privacy_words.h"

namespace velmora {

std::vector<UserRow> build_user_rows(const SessionView& view) {
  std::vector<UserRow> rows;
  if (view.socket_closed) return rows;
  const AgreementSnapshot& agreement = view.agreement;
  std::unordered_map<std::string_view, const MemberView*> members;
  for (const MemberView& m : agreement.members) members.emplace(m.nick, &m);
  for (const std::string& nick : view.users) {
    if (nick.empty()) continue;
    MemberView member;
    member.nick = nick;
    if (const auto found = members.find(nick); found != members.end()) member = *found->second;
    else if (nick == view.nick) member.key = agreement.holds_key ? MemberKey::Ours : MemberKey::Waiting;
    if (agreement.plain) member.key = MemberKey::Ordinary;
    rows.push_back({member.key, display_text(nick), display_text(member_note(member, agreement))});
  }
  return rows;
}

}  // namespace velmora
