#pragma once
// The connection to the IRC server: its socket, the detected line terminator, the
// channel's members (the one list of them: the receive side keeps it), the inbound and
// outbound queues and the receive thread.
//
// How irc/ reports failure: parsing never fails (any text is some message); a call
// that writes to the socket at once says whether it could (bool), open() gives the
// socket's connect code; lines put in the outbound queue report nothing, since a
// connection that fails says so itself: its receive thread ends and the hooks hear
// connection_ended(). What a server refuses arrives as lines like any other.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "irc/channel_members.h"
#include "irc/inbound_queue.h"
#include "irc/outbound_queue.h"
#include "irc/registration.h"
#include "net/chat_socket.h"
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

class ServerConnection {
public:
  // How long open() holds the login back waiting for the server to speak first.
  static constexpr std::chrono::milliseconds kGreetingWait{500};
  // Bound on quit's wait for the server to close the connection: the whole quit of the
  // program, goodbye and exit, stays within 1.5 s whatever the server does.
  static constexpr std::chrono::milliseconds kQuitWait{1000};
  // Bound on the last drain of output at exit, after the goodbye had its wait.
  static constexpr std::chrono::milliseconds kExitDrain{200};

  // `log` receives every line sent by send_message/send_line and every line received;
  // `hooks` may be null (nothing consumed, names stored only here). Both must outlive
  // this object. `changes`, when given, is raised after every received line, when the
  // socket opens or fails to, and when the receive thread ends.
  ServerConnection(ChatLog& log, ReceiveHooks* hooks, ChangeSignal* changes = nullptr);
  // Says "QUIT :bye" when connected (bounded wait), closes the socket (bounded),
  // stops and joins the receive thread.
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // TCP connect, then up to kGreetingWait for the server's first bytes to learn the
  // terminator. 0 connected; the socket's connect code; 3 when the server closed
  // before sending anything.
  int open(const std::string& host, int port, const TlsOptions& tls = {});
  // CAP LS 302, PASS (when `password` is non-empty), USER, NICK; starts the receive
  // thread, which registers by `plan` (set_registration). False when not connected.
  bool login(const LoginDetails& login);
  bool join(const std::string& channel);

  // How the next login registers: account login, channel joined on the welcome.
  void set_registration(RegistrationPlan plan);
  RegistrationPlan registration() const;
  // The welcome (001) of this connection arrived.
  bool welcomed() const { return welcomed_.load(); }
  // This connection was closed by us because a required account login failed.
  bool gave_up() const { return gave_up_.load(); }
  void mark_welcomed() { welcomed_ = true; }
  // The account the server logged us in as on this connection; empty for none.
  std::string account() const;
  void set_account(const std::string& account);
  // Says QUIT with `reason` and closes, from the receive thread; remembered by gave_up().
  void give_up(const std::string& reason);

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
  ChatLog& chat_log() { return log_; }
  ReceiveHooks* hooks() { return hooks_; }
  bool stopping() const { return stopping_.load(); }
  void note_change();

private:
  void learn_terminator_from_greeting();
  void stop_receive_thread(std::chrono::milliseconds drain_bound = ChatSocket::kDrainBound);

  ChatLog& log_;
  ReceiveHooks* hooks_;
  ChangeSignal* changes_;
  mutable std::mutex state_lock_;  // terminator_, plan_, account_
  ChannelTracker tracker_;
  std::string terminator_;
  RegistrationPlan plan_;
  std::string account_;
  std::atomic<bool> welcomed_{false};
  std::atomic<bool> gave_up_{false};
  std::atomic<bool> connected_{false};
  std::atomic<bool> stopping_{false};
  ChatSocket socket_;
  OutboundQueue outbound_;  // after the socket: its thread writes there
  InboundQueue queue_;
  std::thread receive_thread_;
};

}  // namespace velmora
