#pragma once
// The receive thread's work for one connection: read line after line, log, parse, let
// the hooks (key exchange) act, answer pings and client queries, collect the names
// replies, and queue what is left for the window.

#include <string>
#include <vector>

#include "irc/auto_reply.h"
#include "irc/inbound_queue.h"
#include "irc/irc_message.h"
#include "irc/registration.h"
#include "irc/rejoin_after_kick.h"

namespace velmora {

class ServerConnection;

// Names beyond this many in one list, or beyond this many bytes (a std::string's own
// size counted for each), are dropped, so a server that never ends its names list
// cannot grow memory without bound: 1500 replies of 60 KB nicks took 450 MB.
inline constexpr std::size_t kMaxNames = 100000;
inline constexpr std::size_t kMaxNamesBytes = 4 * 1024 * 1024;
// Longer than any server allows a nick: such a name is dropped from the list.
inline constexpr std::size_t kMaxNickBytes = 64;

// One nick of a names reply without its mode prefix ("@", "+" or "-"; one at most).
std::string strip_mode_prefix(const std::string& name);

class ReceiveLoop {
public:
  explicit ReceiveLoop(ServerConnection& connection);
  // Runs until the socket is closed (and what it received is drained) or a stop.
  void run();
  // One line as read, without its terminator, handled completely: logged, answered,
  // queued. Public so tests can inject lines.
  void handle_line(const std::string& raw);

private:
  // The lines already waiting in the socket are handled as one burst: logged, answered
  // and kept in shown_, then flushed to the log and published together.
  bool take_burst(const std::string& terminator);
  void handle_in_burst(std::string raw);
  void finish_burst();
  void learn_terminator();
  bool dispatch(const IrcMessage& message, const std::string& raw);
  bool register_step(const IrcMessage& message);
  void follow_channel(const IrcMessage& message);
  void collect_names(const std::string& text);
  void store_names();
  void request_names();

  ServerConnection& connection_;
  std::vector<std::string> names_collect_;
  std::size_t names_bytes_ = 0;  // of names_collect_, as kMaxNamesBytes counts them
  std::vector<std::string> burst_;
  std::vector<ReceivedLine> shown_;
  QueryLimiter limiter_;
  Registration registration_;
  RejoinAfterKick rejoin_;
};

// Thread procedure of the receive thread.
void receive_loop(ServerConnection& connection);

}  // namespace velmora
