#pragma once
// A simulated IRC server with one channel, in virtual time: every connection has one
// ordered link each way with a latency of its own, the server takes each client's lines
// at ngircd's default pace (a burst, then about three a second), and relays JOIN, PART,
// QUIT, NICK, names lists and PRIVMSG as a server does. The network can split in two
// (each side sees the other's members quit) and heal (each side sees them join again).
// Everything random comes from one seed, so a run can be replayed exactly.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "secure/key_agreement.h"

namespace velmora::sim {

using Time = KeyAgreement::Time;
using Ms = std::chrono::milliseconds;

inline constexpr const char* kChannel = "#sim";

// What the server relays to one connection.
struct Relayed {
  enum class Kind { Welcome, Join, Part, Quit, Nick, Names, Privmsg };
  Kind kind;
  std::string nick;    // who did it (the sender of a PRIVMSG); our own nick for Welcome
  std::string target;  // PRIVMSG: the channel or our nick; NICK: the new nick
  std::string text;
  std::vector<std::string> names;
};

// What a connection sends to the server.
struct Command {
  enum class Kind { Join, Part, Quit, Nick, Privmsg };
  Kind kind;
  std::string target;  // PRIVMSG target, NICK's new nick
  std::string text;
};

class Actor {
public:
  virtual ~Actor() = default;
  virtual void receive(int session, const Relayed& line) = 0;
};

class World {
public:
  explicit World(std::uint64_t seed);

  Time now() const { return now_; }
  std::mt19937_64& rng() { return rng_; }
  std::uint64_t random(std::uint64_t bound) { return bound == 0 ? 0 : rng_() % bound; }
  void at(Time t, std::function<void()> action);
  void after(Ms delay, std::function<void()> action) { at(now_ + delay, std::move(action)); }
  // Runs every action due before `end`, in time order (ties in the order scheduled).
  void run_until(Time end);

  // A new connection for `actor`; the server gives `nick`, or nick + "_" while it is
  // taken (a ghost of an earlier connection, say). During a split it lands on `side`.
  // Returns the session.
  int connect(Actor& actor, const std::string& nick, int side = 0, bool honest = false);
  // The connection is gone: the others see it quit (a dropped link does not wait).
  void drop(int session);
  void send(int session, Command command);

  void split(const std::function<bool(const std::string& nick)>& to_side_b);
  void heal();
  bool split_now() const { return split_; }

  bool online(int session) const;
  bool in_channel(int session) const;
  std::string nick(int session) const;
  int side(int session) const;
  // Sessions in the channel, on one side of a split.
  std::vector<int> channel_sessions(int side) const;
  // When the channel's membership last changed (join, part, quit, nick, split, heal).
  Time last_membership_change() const { return last_change_; }

  std::uint64_t lines_relayed() const { return relayed_; }
  // JOINs the channel saw: each client's own, and each member back after a split.
  std::uint64_t join_events() const { return joins_; }
  // Honest clients' PRIVMSGs dropped as ircd-hybrid drops them: past ten a second to one
  // nick or channel (from everyone together), the sender told "throttled due to flooding".
  std::uint64_t throttled() const { return throttled_; }
  // Told of every line the server takes, when set (a failing seed's story).
  std::function<void(const std::string&)> trace;

private:
  struct Connection {
    Actor* actor = nullptr;
    std::string nick;
    bool honest = false;  // its throttled lines are counted
    bool online = true;
    bool in_channel = false;
    int side = 0;
    Ms up_latency{}, down_latency{};
    Time up_free_at{};       // the server takes this connection's next line then
    double server_tokens = 10;
    Time server_refilled_at{};
    Time delivered_at{};     // lines to the client keep their order
  };

  Connection* live(int session);
  const Connection* live(int session) const;
  bool nick_taken(const std::string& nick) const;
  void process(int session, const Command& command);
  void deliver(int session, Relayed line);
  void to_channel(int side, const Relayed& line, int except = -1);
  void leave_channel(int session, Relayed::Kind kind, const std::string& text);
  void membership_changed() { last_change_ = now_; }

  struct Event {
    Time at;
    std::uint64_t order;
    std::function<void()> action;
    bool operator>(const Event& other) const {
      return at != other.at ? at > other.at : order > other.order;
    }
  };

  Time now_;
  Time last_change_;
  std::mt19937_64 rng_;
  std::priority_queue<Event, std::vector<Event>, std::greater<Event>> events_;
  std::uint64_t order_ = 0;
  std::vector<Connection> sessions_;
  std::vector<int> channel_order_;  // sessions in the channel, in the order they joined
  bool split_ = false;
  std::uint64_t relayed_ = 0;
  std::uint64_t joins_ = 0;
  struct FloodWindow {
    Time started{};
    int lines = 0;
  };
  std::map<std::string, FloodWindow> flood_;  // per target
  std::uint64_t throttled_ = 0;
  bool flooded(const std::string& target, bool count);
};

}  // namespace velmora::sim
