#include "secure/agreement_members.h"

#include <algorithm>

namespace velmora {

void AgreementMembers::replace(const std::vector<std::string>& nicks) {
  std::unordered_map<std::string, AgreementMember> kept;
  std::vector<std::string> order;
  order.reserve(nicks.size());
  for (const std::string& nick : nicks) {
    if (nick.empty() || kept.contains(nick)) continue;
    const auto found = records_.find(nick);
    kept.emplace(nick, found != records_.end() ? std::move(found->second) : AgreementMember{});
    order.push_back(nick);
  }
  records_ = std::move(kept);
  order_ = std::move(order);
}

AgreementMember& AgreementMembers::add(const std::string& nick) {
  if (!records_.contains(nick)) order_.push_back(nick);
  AgreementMember& member = records_[nick];
  member = AgreementMember{};
  return member;
}

void AgreementMembers::remove(const std::string& nick) {
  if (records_.erase(nick) > 0) std::erase(order_, nick);
}

void AgreementMembers::rename(const std::string& from, const std::string& to) {
  const auto found = records_.find(from);
  if (found == records_.end() || from == to) return;
  AgreementMember member = std::move(found->second);
  records_.erase(found);
  if (to.empty() || records_.contains(to)) {
    std::erase(order_, from);
    return;
  }
  records_.emplace(to, std::move(member));
  std::replace(order_.begin(), order_.end(), from, to);
}

void AgreementMembers::clear() {
  records_.clear();
  order_.clear();
}

AgreementMember* AgreementMembers::find(const std::string& nick) {
  const auto found = records_.find(nick);
  return found == records_.end() ? nullptr : &found->second;
}

const AgreementMember* AgreementMembers::find(const std::string& nick) const {
  const auto found = records_.find(nick);
  return found == records_.end() ? nullptr : &found->second;
}

}  // namespace velmora
