#pragma once
// Key agreement: how the Velmora users of one channel come to share one channel key,
// as one single-threaded state machine. No I/O, no locks, no clock of its own: it is fed
// what the server says (membership, texts) and the time now, and hands out the lines to
// send one at a time, most urgent first, when the sender has room for one. Everything
// that has to happen later is a deadline here (next_deadline), never a thread or a sleep.
//
// Honest clients are Velmora clients that know the passphrase; adversaries are anyone
// else, in the channel or outside it, sending anything a server relays. With the
// policy values below, the machine keeps these promises:
//
// - Safety: a key is adopted only from an "@XKEY" sealed under a transport key that
//   needs both the passphrase and our Diffie-Hellman secret, and only when it opens to
//   a well-formed key. Only honest clients make keys, so only their keys are adopted.
// - No lock-out: while an honest holder is in the channel, a joiner holds a key within
//   20 s of its JOIN, whatever adversaries send. Nothing waits without a deadline: a
//   request is given up kAnswerWait after it went out; a refusal, a bad answer or a
//   departure ends only that holder's part; further holders are asked kStagger apart,
//   and with nobody left to ask a keyless client makes the key itself.
// - Convergence: once the channel has been quiet for 30 s, all honest clients in it
//   hold one key, whatever joined, left, split or restarted before. The key whose
//   check (key_check) is smallest wins. Every key made and every key adopted is
//   announced to the channel, and so is the key of a client that (re)joins holding
//   one. A holder that hears a larger check than its own makes sure its own is heard
//   (announces within kAnnounceJitter, at most once per kAnnounceInterval); one that
//   hears a smaller check asks a member who announced it.
// - Bounded cost: members are the channel's (names list, JOIN, PART, KICK, QUIT, NICK)
//   and only they are remembered, welcomed, answered or refused; an outsider costs
//   nothing on the wire. Per member at most one answer, one welcome and one refusal
//   wait to go out, refusals last and at most one per kRefusalInterval; lines to a
//   member that has left, or that has meanwhile announced our key, are dropped. Our
//   own request goes out before anything else, and its time-out runs from when it was
//   handed out. A join costs the channel at most kWelcomers + kLateWelcomers welcome
//   lines, not one per holder: the holders ranked first for the joiner's nick
//   (rendezvous hashing) welcome it at once, the next kLateWelcomers only if it has not
//   announced our key after kLateWelcome.
// - Herds: when nobody in the channel holds a key, keyless clients wait kMakerWait plus
//   kMakerStep for each member ranked before them (by a hash of the nicks), and give up
//   making a key when another's announcement arrives first, so a herd starts with one
//   key, or a few that converge. Joiners spread their requests at random over the
//   holders that announced, so the load spreads as the key does, and a herd that heard
//   one announcement together spreads its first requests so that no holder is asked
//   more than a few times a second (ircd-hybrid throttles past ten), over at most
//   12 s; the spread shrinks as more holders announce. The
//   channel is spared: announcements wait while it carries kChannelLinesPerSecond.
//
// Wire: the control texts of control_text.h, unchanged. "@AUTHENTICATED" carries our
// key check after a space; a peer that matches the marker by prefix ignores it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class Entropy;

// One PRIVMSG to send: to a nick or to the channel.
struct AgreementLine {
  std::string target;
  std::string text;
};

// What a member of the channel is known to hold, as the window shows it.
enum class MemberKey {
  Ours,        // announced our key check (or exchanged our key with us)
  Other,       // announced a different key check, or its sealed line did not open
  Unchecked,   // announced holding a key without a check (an older client)
  Waiting,     // a Velmora client without a key yet: it asked us for ours
  Ordinary,    // said nothing of keys: an ordinary IRC user, as far as we know
};

struct MemberView {
  std::string nick;
  MemberKey key = MemberKey::Ordinary;
  std::string check;  // the check it announced, when it announced one
  bool unopened = false;  // its last sealed line did not open under our key
};

// The machine's state for the faces, taken as one copy.
struct AgreementSnapshot {
  bool plain = false;         // no passphrase: nothing is sealed
  bool holds_key = false;
  std::string own_check;      // our key's check, empty without a key
  std::vector<MemberView> members;  // in channel order, ourselves included
};

class KeyAgreement {
public:
  using Clock = std::chrono::steady_clock;
  using Time = Clock::time_point;

  // Policy values, in one place.
  static constexpr auto kAnswerWait = std::chrono::seconds(10);
  static constexpr auto kGather = std::chrono::milliseconds(300);
  static constexpr auto kStagger = std::chrono::seconds(2);
  static constexpr auto kCredibleWait = std::chrono::seconds(4);
  static constexpr std::size_t kMaxOpenRequests = 3;
  static constexpr auto kRetryAfterTimeout = std::chrono::seconds(10);
  static constexpr auto kRetryAfterFailure = std::chrono::seconds(30);
  static constexpr auto kMakerWait = std::chrono::seconds(5);
  static constexpr auto kMakerStep = std::chrono::milliseconds(1000);
  static constexpr int kMakerRanks = 12;
  static constexpr std::size_t kWelcomers = 3;
  static constexpr std::size_t kLateWelcomers = 2;
  static constexpr auto kLateWelcome = std::chrono::seconds(3);
  static constexpr auto kWelcomeSpacing = std::chrono::seconds(2);
  static constexpr auto kRefusalInterval = std::chrono::seconds(30);
  static constexpr auto kAnnounceJitter = std::chrono::milliseconds(1500);
  static constexpr auto kAnnounceInterval = std::chrono::seconds(10);
  static constexpr std::size_t kMaxEarlyAnnouncements = 64;
  // Our announcements wait while the channel already carries this many lines a second:
  // ircd-hybrid throttles a channel past ten, and a herd's announcements come together.
  static constexpr int kChannelLinesPerSecond = 4;

  // `entropy` makes channel keys and the random choices; it must outlive the machine.
  explicit KeyAgreement(Entropy& entropy);
  ~KeyAgreement();
  KeyAgreement(const KeyAgreement&) = delete;
  KeyAgreement& operator=(const KeyAgreement&) = delete;

  // A connection starts: what was learnt of the channel goes, the key stays (an empty
  // passphrase is plain mode: the key is " " and no rule acts). `max_users` limits how
  // many members we know to hold the key before we stop answering (0: no limit).
  void connection_started(const std::string& passphrase, int max_users,
                          const std::string& own_nick, const std::string& channel, Time now);
  void connection_ended();

  // What the server says, in order.
  void own_nick_is(const std::string& nick);
  void channel_is(const std::string& channel);  // the server forwarded us elsewhere
  void names(const std::vector<std::string>& members, Time now);  // a complete list
  void joined(const std::string& nick, Time now);
  void left(const std::string& nick, Time now);  // PART, KICK or QUIT
  void renamed(const std::string& from, const std::string& to, Time now);
  // A PRIVMSG or NOTICE with its trailing text. True for a control text, which is
  // never shown (whatever the command, as every Velmora client hides them).
  bool text_received(const std::string& sender, const std::string& command, bool to_channel,
                     const std::string& text, Time now);
  // A sealed chat line from `sender` did or did not open under our key. Only what the
  // snapshot shows changes (anyone can send a line that does not open): until it opens
  // a line or announces again, the member shows as holding another key. True when that
  // changed what the snapshot shows.
  bool sealed_line_from(const std::string& sender, bool opened);

  // Time passes: deadlines that have come act.
  void tick(Time now);
  std::optional<Time> next_deadline() const;
  // The next line to send now, most urgent first; nothing when nothing is due.
  std::optional<AgreementLine> next_line(Time now);

  // The key chat is sealed and opened under: empty without one, " " in plain mode.
  const std::string& channel_key() const;
  bool holds_key() const;
  // Raised by every change of the key; the caller loads its cipher when it moves.
  std::uint64_t key_generation() const;
  AgreementSnapshot snapshot() const;
  // Status texts for the user since the last take, oldest first.
  std::vector<std::string> take_statuses();

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
