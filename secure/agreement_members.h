#pragma once
// The channel's members as the key agreement knows them: what each said of keys, how
// it did when asked for ours, and what we owe it (a welcome, an answer, a refusal).
// Only members are kept, so the table is as large as the channel and no larger.

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora {

struct AgreementMember {
  using Time = std::chrono::steady_clock::time_point;

  // What it said since it joined.
  bool announced = false;      // "@AUTHENTICATED", with or without a check
  std::string check;           // the check it announced (empty: none or bare)
  bool asked_us = false;       // sent us a request with a good token
  bool proven = false;         // a good token from it, or a key from it: knows the passphrase
  bool sent_unopened = false;  // its last sealed chat line did not open under our key

  // How it did as a holder we asked.
  Time retry_at{};             // not asked again before this
  int timeouts = 0;
  bool failed = false;         // refused our token, or sent a key that did not open

  // What we owe it.
  std::optional<Time> welcome_due;
  std::optional<Time> welcomed_at;
  bool answer_due = false;
  std::string answer_value;    // the public value its request carried
  bool refusal_due = false;
  std::string refusal_token;
  std::optional<Time> refused_at;
};

class AgreementMembers {
public:
  // A complete names list: records of nicks still there stay, the others go.
  void replace(const std::vector<std::string>& nicks);
  // A JOIN: a fresh record, whatever the nick said before it left.
  AgreementMember& add(const std::string& nick);
  void remove(const std::string& nick);
  void rename(const std::string& from, const std::string& to);
  void clear();

  AgreementMember* find(const std::string& nick);
  const AgreementMember* find(const std::string& nick) const;
  bool contains(const std::string& nick) const { return find(nick) != nullptr; }
  // In channel order (the list's, then joins in order).
  const std::vector<std::string>& nicks() const { return order_; }
  std::size_t size() const { return order_.size(); }

private:
  std::unordered_map<std::string, AgreementMember> records_;
  std::vector<std::string> order_;
};

}  // namespace velmora
