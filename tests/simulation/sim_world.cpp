#include "tests/simulation/sim_world.h"

#include <algorithm>

namespace velmora::sim {
namespace {

// ngircd's default penalties, as measured: a burst, then about three lines a second.
constexpr double kServerBurst = 10;
constexpr double kServerLinesPerSecond = 3;

}  // namespace

World::World(std::uint64_t seed)
    : now_(Time{} + std::chrono::hours(1)), last_change_(now_), rng_(seed) {}

void World::at(Time t, std::function<void()> action) {
  events_.push({std::max(t, now_), order_++, std::move(action)});
}

void World::run_until(Time end) {
  while (!events_.empty() && events_.top().at < end) {
    Event event = events_.top();
    events_.pop();
    now_ = event.at;
    event.action();
  }
  now_ = std::max(now_, end);
}

World::Connection* World::live(int session) {
  if (session < 0 || session >= static_cast<int>(sessions_.size())) return nullptr;
  Connection& c = sessions_[static_cast<std::size_t>(session)];
  return c.online ? &c : nullptr;
}

const World::Connection* World::live(int session) const {
  return const_cast<World*>(this)->live(session);
}

bool World::nick_taken(const std::string& nick) const {
  return std::any_of(sessions_.begin(), sessions_.end(),
                     [&](const Connection& c) { return c.online && c.nick == nick; });
}

int World::connect(Actor& actor, const std::string& nick, int side, bool honest) {
  Connection c;
  c.actor = &actor;
  c.nick = nick;
  c.honest = honest;
  c.side = split_ ? side : 0;
  while (nick_taken(c.nick)) c.nick += "_";
  c.up_latency = Ms(1 + random(40));
  c.down_latency = Ms(1 + random(40));
  c.server_refilled_at = now_;
  c.up_free_at = now_;
  c.delivered_at = now_;
  sessions_.push_back(c);
  const int session = static_cast<int>(sessions_.size()) - 1;
  deliver(session, {Relayed::Kind::Welcome, c.nick, {}, {}, {}});
  return session;
}

void World::drop(int session) {
  Connection* c = live(session);
  if (!c) return;
  if (c->in_channel) leave_channel(session, Relayed::Kind::Quit, "Ping timeout");
  c->online = false;
}

// The client's lines reach the server in order, each after the link's latency, and the
// server takes them no faster than its pace allows.
void World::send(int session, Command command) {
  Connection* c = live(session);
  if (!c) return;
  const double elapsed = std::chrono::duration<double>(now_ - c->server_refilled_at).count();
  c->server_tokens = std::min(kServerBurst, c->server_tokens + elapsed * kServerLinesPerSecond);
  c->server_refilled_at = now_;
  Time taken = std::max(now_ + c->up_latency, c->up_free_at);
  if (c->server_tokens >= 1) {
    c->server_tokens -= 1;
  } else {
    const auto wait = std::chrono::duration<double>((1 - c->server_tokens) / kServerLinesPerSecond);
    taken = std::max(taken, now_ + std::chrono::duration_cast<Ms>(wait));
    c->server_tokens = 0;
    c->server_refilled_at = taken;
  }
  c->up_free_at = taken;
  at(taken, [this, session, command = std::move(command)] { process(session, command); });
}

void World::deliver(int session, Relayed line) {
  Connection* c = live(session);
  if (!c) return;
  ++relayed_;
  c->delivered_at = std::max(now_ + c->down_latency, c->delivered_at);
  at(c->delivered_at, [this, session, line = std::move(line)] {
    if (Connection* target = live(session)) target->actor->receive(session, line);
  });
}

void World::to_channel(int side, const Relayed& line, int except) {
  for (const int member : channel_sessions(side)) {
    if (member != except) deliver(member, line);
  }
}

void World::leave_channel(int session, Relayed::Kind kind, const std::string& text) {
  Connection& c = *live(session);
  const Relayed line{kind, c.nick, kChannel, text, {}};
  to_channel(c.side, line);
  c.in_channel = false;
  std::erase(channel_order_, session);
  membership_changed();
}

void World::process(int session, const Command& command) {
  Connection* c = live(session);
  if (!c) return;
  if (trace) {
    static const char* const kinds[] = {"JOIN", "PART", "QUIT", "NICK", "PRIVMSG"};
    trace(c->nick + " " + kinds[static_cast<int>(command.kind)] + " " + command.target + " " +
          command.text.substr(0, 40));
  }
  switch (command.kind) {
    case Command::Kind::Join: {
      if (c->in_channel) return;
      c->in_channel = true;
      ++joins_;
      channel_order_.push_back(session);
      to_channel(c->side, {Relayed::Kind::Join, c->nick, kChannel, {}, {}});
      Relayed names{Relayed::Kind::Names, {}, kChannel, {}, {}};
      for (const int member : channel_sessions(c->side)) names.names.push_back(nick(member));
      deliver(session, names);
      membership_changed();
      return;
    }
    case Command::Kind::Part:
      if (c->in_channel) leave_channel(session, Relayed::Kind::Part, {});
      return;
    case Command::Kind::Quit:
      drop(session);
      return;
    case Command::Kind::Nick: {
      if (command.target.empty() || nick_taken(command.target)) return;
      const Relayed line{Relayed::Kind::Nick, c->nick, command.target, {}, {}};
      if (c->in_channel) {
        to_channel(c->side, line);
        membership_changed();
      } else {
        deliver(session, line);
      }
      live(session)->nick = command.target;
      return;
    }
    case Command::Kind::Privmsg: {
      if (flooded(command.target, c->honest)) return;
      const Relayed line{Relayed::Kind::Privmsg, c->nick, command.target, command.text, {}};
      if (command.target == kChannel) {
        if (c->in_channel) to_channel(c->side, line, session);  // +n: members only
        return;
      }
      for (int other = 0; other < static_cast<int>(sessions_.size()); ++other) {
        const Connection* o = live(other);
        if (o && o->nick == command.target && o->side == c->side) deliver(other, line);
      }
      return;
    }
  }
}

bool World::flooded(const std::string& target, bool count) {
  constexpr int kFloodCount = 10;
  FloodWindow& window = flood_[target];
  if (now_ - window.started >= std::chrono::seconds(1)) window = {now_, 0};
  if (window.lines >= kFloodCount) {
    throttled_ += count;
    return true;
  }
  ++window.lines;
  return false;
}

// Each side sees the other's members quit, as a netsplit shows.
void World::split(const std::function<bool(const std::string& nick)>& to_side_b) {
  if (split_) return;
  if (trace) trace("-- netsplit");
  split_ = true;
  for (Connection& c : sessions_) {
    if (c.online) c.side = to_side_b(c.nick) ? 1 : 0;
  }
  for (const int a : channel_order_) {
    for (const int b : channel_order_) {
      if (side(a) != side(b)) deliver(a, {Relayed::Kind::Quit, nick(b), kChannel, "irc.a irc.b", {}});
    }
  }
  membership_changed();
}

// Joined again: each side sees the other's members join (no names list).
void World::heal() {
  if (!split_) return;
  if (trace) trace("-- netsplit heals");
  split_ = false;
  std::vector<std::pair<int, int>> pairs;
  for (const int a : channel_order_) {
    for (const int b : channel_order_) {
      if (side(a) != side(b)) pairs.emplace_back(a, b);
    }
  }
  for (Connection& c : sessions_) c.side = 0;
  for (const auto& [a, b] : pairs) deliver(a, {Relayed::Kind::Join, nick(b), kChannel, {}, {}});
  joins_ += channel_order_.size();
  membership_changed();
}

bool World::online(int session) const { return live(session) != nullptr; }
bool World::in_channel(int session) const {
  const Connection* c = live(session);
  return c && c->in_channel;
}
std::string World::nick(int session) const {
  const Connection* c = live(session);
  return c ? c->nick : std::string();
}
int World::side(int session) const {
  const Connection* c = live(session);
  return c ? c->side : -1;
}

std::vector<int> World::channel_sessions(int side) const {
  std::vector<int> out;
  for (const int s : channel_order_) {
    if (this->side(s) == side) out.push_back(s);
  }
  return out;
}

}  // namespace velmora::sim
