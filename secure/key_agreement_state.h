#pragma once
// The key agreement's state, shared by its three source files: key_agreement.cpp (what
// the server says), key_agreement_seeking.cpp (our own requests, making and adopting
// keys) and key_agreement_duties.cpp (what we owe others, and the lines to send).
// Only those files include this header.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "secure/agreement_members.h"
#include "secure/blowfish.h"
#include "secure/key_agreement.h"

namespace velmora {

// One request of ours for a key: "@PUBLIC" to a holder, answered by "@XPUBLIC" and
// then "@XKEY" from the same nick.
struct KeyRequest {
  std::string target;        // followed through nick changes
  std::string wanted_check;  // the smaller key we hope for; empty while we hold none
  std::string exponent;      // our Diffie-Hellman private value for this request
  std::string text;          // the "@PUBLIC" text, until handed out
  bool sent = false;
  KeyAgreement::Time sent_at{};
  KeyAgreement::Time deadline{};  // from when it was handed out
  std::string secret;        // once its "@XPUBLIC" came
};

// An announcement heard before our names list told us who is a member.
struct EarlyAnnouncement {
  std::string nick;
  std::string check;
  bool to_channel = false;
};

struct KeyAgreement::Impl {
  explicit Impl(Entropy& e);

  Entropy& entropy;

  // Lasting across connections: the key and what follows from it.
  std::string key;
  std::string own_check;
  std::uint64_t generation = 0;
  std::string passphrase;
  BlowfishCipher passphrase_key;
  bool plain = true;

  // This connection.
  int max_users = 0;
  std::string own;
  std::string channel;
  bool in_channel = false;  // our names list came since we joined
  Time names_at{};
  Time last_now{};
  AgreementMembers members;
  std::vector<EarlyAnnouncement> early;

  // Our requests.
  std::vector<KeyRequest> requests;
  std::optional<Time> last_request_at;
  std::optional<Time> search_started;  // the first request of a search waits its place
  std::optional<Time> request_due_at;  // when our next request may go, as last reckoned
  std::chrono::milliseconds spread_interval{0};  // the interval that was reckoned with
  bool welcomed_privately = false;   // a holder spoke to us: no need to spread
  Time holder_seen_at{};             // the last moment a holder seemed to be around

  // What we owe.
  std::deque<std::string> answer_order;
  std::deque<std::string> welcome_order;
  std::deque<std::string> refusal_order;
  std::optional<AgreementLine> follow_up;  // an "@XKEY" right behind its "@XPUBLIC"
  std::optional<Time> announce_due;
  bool announce_is_news = false;  // a new key: announced whatever others say
  std::optional<Time> last_announced_at;
  std::uint32_t announce_backoff = 250;  // milliseconds: the window of the next wait
  Time refusal_window_start{};
  int refusals_in_window = 0;
  std::deque<Time> channel_lines;  // when lines to the channel were seen, the last second's

  std::vector<std::string> statuses;

  bool holds_key() const { return !plain && !key.empty(); }
  bool ours(const std::string& check) const { return !own_check.empty() && check == own_check; }
  void status(std::string text) { statuses.push_back(std::move(text)); }
  void reset_connection();
  void forget_old_channel_lines(Time now);
  void note_channel_line(Time now);
  bool channel_busy(Time now);
  void leave_channel();

  // key_agreement_seeking.cpp
  void step(Time now);
  void expire_requests(Time now);
  void seek(Time now);
  void reconcile(Time now);
  bool credible(const std::string& nick, const AgreementMember& m, Time now) const;
  bool candidate(const std::string& nick, const AgreementMember& m, Time now) const;
  bool request_due(std::size_t holders, std::size_t wanting, Time now);
  void end_search();
  std::optional<std::string> choose_any_holder(Time now);
  void open_request(const std::string& nick, const std::string& wanted_check, Time now);
  KeyRequest* request_to(const std::string& nick);
  void close_request(const std::string& nick);
  Time maker_due() const;
  void make_key(Time now, bool announce);
  void adopt(const std::string& new_key, Time now);
  void holder_value(const std::string& sender, const std::string& text);
  void key_arrived(const std::string& sender, const std::string& text, Time now);
  void refused(const std::string& sender, const std::string& text, Time now);

  // key_agreement_duties.cpp
  void queue_for(std::deque<std::string>& queue, const std::string& nick);
  void welcome(const std::string& joiner, Time now);
  void announcement_heard(const std::string& sender, const std::string& check, bool to_channel,
                    Time now);
  void request_received(const std::string& sender, const std::string& text, Time now);
  void announce_news(Time now);
  void announce_difference(Time now);
  bool within_holder_limit(const std::string& requester) const;
  std::optional<AgreementLine> request_line(Time now);
  std::optional<AgreementLine> announcement_line(Time now);
  std::optional<AgreementLine> answer_line();
  std::optional<AgreementLine> welcome_line(Time now);
  std::optional<AgreementLine> refusal_line(Time now);
  std::optional<Time> next_welcome_due() const;
};

}  // namespace velmora
