#pragma once
// The connection to the IRC server: its socket, the detected line terminator, the
// channel's members (the one list of them: the receive side keeps it), the inbound and
// outbound queues and the receive thread.
//
// How irc/ reports failure: parsing never fails (any text is some message); open()
// gives a ConnectResult; lines put in the outbound queue report nothing, since a
// connection that fails says so itself: its receive thread ends and the link events
// hear link_ended() with the reason in words. What a server refuses arrives as lines
// like any other.
//
// Every line we send goes through the outbound queue and is logged there, secrets
// masked: the login and PONG first (urgent), then the user's lines, then the rest. The
// queue is open only while a connection stands.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "irc/channel_members.h"
#include "irc/inbound_queue.h"
#include "irc/link_events.h"
#include "irc/outbound_queue.h"
#include "irc/registration.h"
#include "irc/scheduler.h"
#include "net/chat_socket.h"
#include "net/connect_result.h"
#include "net/tls_options.h"

namespace velmora {

class ChangeSignal;
class ChatLog;
class ReceiveHooks;

// What the login says of us: NICK, USER's four fields, and PASS when a password is set.
struct LoginDetails {
  std::string nick;
  std::string realname;
  std::string password;
  std::string username;
  std::string hostname;
  std::string servername;
};

// Keep-alive: a server quiet this long is pinged, and the connection is given up when
// the answer takes longer than `answer_wait`. A dead path is noticed within the sum
// (150 s; the servers we know drop a ghost after 140 to 180 s).
struct Keepalive {
  std::chrono::milliseconds quiet{std::chrono::seconds(90)};
  std::chrono::milliseconds answer_wait{std::chrono::seconds(60)};
};

class ServerConnection {
public:
  // Bound on quit's wait for the server to close the connection: the whole quit of the
  // program, goodbye and exit, stays within 1.5 s whatever the server does.
  static constexpr std::chrono::milliseconds kQuitWait{1000};
  // Bound on the last drain of output at exit, after the goodbye had its wait.
  static constexpr std::chrono::milliseconds kExitDrain{200};

  // `log` receives every line sent and every line received; `hooks` may be null
  // (nothing consumed, names stored only here). Both must outlive this object.
  // `changes`, when given, is raised after every received line, when the socket opens
  // or fails to, and when the receive thread ends. The timers run on `scheduler`
  // (one of its own when null), which must outlive this object.
  ServerConnection(ChatLog& log, ReceiveHooks* hooks, ChangeSignal* changes = nullptr,
                   Scheduler* scheduler = nullptr);
  // Says "QUIT :bye" when connected (bounded wait), closes the socket (bounded),
  // stops and joins the receive thread.
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // TCP connect (and TLS). The previous connection's receive thread is joined first.
  // Nothing is waited for after the connect: the login goes at once, in CR LF, and the
  // receive thread learns the server's terminator from its first bytes.
  ConnectResult open(const std::string& host, int port, const TlsOptions& tls = {});
  // Our nick and channel to the channel tracker (which keeps them from now on), then
  // CAP LS 302, PASS (when `password` is non-empty), USER, NICK, ahead of anything
  // waiting; starts the receive thread, which registers by `plan` (set_registration).
  // False when not connected.
  bool login(const LoginDetails& login);
  // JOIN `channel`, with the plan's channel key when it is that channel.
  bool join(const std::string& channel);
  // Counts the connections opened; the link events name the one they are about.
  std::uint64_t generation() const { return generation_.load(); }
  void set_link_events(LinkEvents* events) { events_ = events; }
  void set_keepalive(Keepalive keepalive);
  // The words of the last connect's failure, naming the host ("connection refused by ...").
  std::string failure_text() const { return socket_.failure_text(); }
  bool encrypted() const { return socket_.encrypted(); }
  // Makes a connect in progress, and every later one, fail at once (the owner goes).
  void abort_connect() { socket_.abort_connect(); }
  // Ends the connection now, without waiting for output; `reason` is what the link
  // events hear (the welcome bound, the keep-alive).
  void cut(const std::string& reason);

  // How the next login registers: account login, channel joined on the welcome.
  void set_registration(RegistrationPlan plan);
  RegistrationPlan registration() const;
  // The welcome (001) of this connection arrived.
  bool welcomed() const { return welcomed_.load(); }
  // This connection was closed by us because a required account login failed.
  bool gave_up() const { return gave_up_.load(); }
  void mark_welcomed();
  // The account the server logged us in as on this connection; empty for none.
  std::string account() const;
  void set_account(const std::string& account);
  // Says QUIT with `reason` and closes, from the receive thread; remembered by gave_up().
  void give_up(const std::string& reason);
  // From the receive thread: the server's ERROR text, any line heard, its first bytes.
  void note_server_error(const std::string& text);
  void note_heard();
  void note_first_bytes(std::string_view bytes);
  // A JOIN of `channel` after `delay`, unless this connection has ended by then.
  void rejoin_later(const std::string& channel, std::chrono::steady_clock::duration delay);

  // command + " " + target + " :" + text. Lines wait their turn in the outbound
  // queue (see irc/outbound_queue.h) and are logged as they go out, secrets masked.
  // Lines put before a connect go out once it stands.
  // Nothing to report: a line that cannot go out is lost with the connection, which
  // says so itself (the receive thread ends, the drop is shown).
  void send_message(const std::string& command, const std::string& target,
                    const std::string& text, SendPriority priority = SendPriority::User);
  void send_line(const std::string& line, SendPriority priority = SendPriority::User);
  OutboundQueue& outbound() { return outbound_; }
  // "QUIT :" + reason and a bounded wait for the server to close. False when not connected.
  bool quit(const std::string& reason);

  bool connected() const { return connected_.load(); }
  bool is_closed() const { return socket_.is_closed(); }
  bool wait_closed(std::chrono::milliseconds timeout) { return socket_.wait_closed(timeout); }
  // Closes the socket now (drain bounded by `drain_bound`) and joins the receive thread.
  void shutdown(std::chrono::milliseconds drain_bound = ChatSocket::kDrainBound);

  // Who we are, where and with whom (irc/channel_members.h): set at each login, kept
  // by the receive thread. users() are the channel's nicks, mode prefixes removed.
  ChannelTracker& channel_tracker() { return tracker_; }
  const ChannelTracker& channel_tracker() const { return tracker_; }
  std::vector<std::string> users() const { return tracker_.members(); }

  std::string terminator() const;
  void set_terminator(const std::string& terminator);

  InboundQueue& queue() { return queue_; }
  int queued_count() const { return queue_.queued_count(); }
  IrcMessage pop_message() { return queue_.pop_message(); }
  std::string pop_line() { return queue_.pop_line(); }

  ChatSocket& socket() { return socket_; }
  Scheduler& scheduler() { return scheduler_; }
  ChatLog& chat_log() { return log_; }
  ReceiveHooks* hooks() { return hooks_; }
  bool stopping() const { return stopping_.load(); }
  void note_change();

private:
  void stop_receive_thread(std::chrono::milliseconds drain_bound = ChatSocket::kDrainBound);
  void run_receive_thread(std::uint64_t generation);
  std::string end_reason() const;
  Keepalive keepalive() const;
  void check_keepalive(std::uint64_t generation);
  void send_urgent(const std::string& line) { outbound_.push(SendPriority::Urgent, line); }

  std::unique_ptr<Scheduler> own_scheduler_;  // when none was given; first in, last out
  Scheduler& scheduler_;
  ChatLog& log_;
  ReceiveHooks* hooks_;
  ChangeSignal* changes_;
  LinkEvents* events_ = nullptr;
  ChannelTracker tracker_;  // locks itself
  mutable std::mutex state_lock_;  // everything from here up to the atomics
  std::string terminator_;
  RegistrationPlan plan_;
  std::string account_;
  std::string server_error_;  // the server's ERROR text on this connection
  std::string cut_reason_;    // why we cut this connection
  bool tls_greeting_ = false;  // the first bytes were a TLS record
  bool got_bytes_ = false;     // the server sent anything at all
  Keepalive keepalive_;
  std::chrono::steady_clock::time_point pinged_at_{};  // of an unanswered keep-alive PING
  std::atomic<bool> welcomed_{false};
  std::atomic<bool> gave_up_{false};
  std::atomic<bool> connected_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<std::int64_t> last_heard_{0};  // steady clock ticks
  std::atomic<std::uint64_t> generation_{0};
  ChatSocket socket_;
  OutboundQueue outbound_;  // after the socket: it writes there
  InboundQueue queue_;
  Timer keepalive_timer_;
  Timer rejoin_timer_;
  std::thread receive_thread_;
};

}  // namespace velmora
