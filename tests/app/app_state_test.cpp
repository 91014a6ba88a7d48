// The connection thread end to end: against a scripted server, a closed port and a
// real ngircd started by the test.

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <mutex>
#include <thread>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/program_paths.h"
#include "tests/app/recording_state.h"
#include "ui/app_session.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unserved_ports.h"
#include "tests/support/eventually.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::ScriptedServer;
using test_support::TempFolder;

using test_support::RecordingState;

std::string settings_text(int port, const std::string& extra = "") {
  return "SERVER=127.0.0.1\r\nPORT=" + std::to_string(port) +
         "\r\nNICK=me\r\nCHANNEL=#chan\r\nKEY=\r\n" + extra;
}

TEST(StartIrc, LogsInJoinsAndTitles) {
  TempFolder dir;
  ScriptedServer server(":s NOTICE * :hello\r\n");
  dir.write("setup.ini", settings_text(server.port()));
  dir.write("log.txt", "old connection\r\n");
  {
    RecordingState state(dir.path(), dir.file("setup.ini"));
    ASSERT_TRUE(state.start_connection());
    ASSERT_TRUE(server.wait_for_line("NICK me"));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.received(), "CAP LS 302\r\nUSER undefined * * :*\r\nNICK me\r\n")
        << "no JOIN before the welcome";
    server.send_line(":s 001 me :Welcome");
    ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
    ASSERT_TRUE(eventually([&] { return !state.attempt_in_progress(); }));
    AppSession window(state);
    EXPECT_EQ(window.view().title, "Velmora") << "not in the channel yet";
    server.send_line(":me!u@h JOIN #chan");
    ASSERT_TRUE(eventually([&] { return window.view().title == "#chan, 127.0.0.1 - Velmora"; }));
    EXPECT_EQ(window.view().link, LinkSecurity::Plain);
    EXPECT_FALSE(state.connecting());
    EXPECT_EQ(state.security().channel_key(), " ");  // plain mode
    EXPECT_EQ(state.texts(), (std::vector<std::string>{"Connecting to 127.0.0.1...",
                                                       "Authenticating user...",
                                                       "Joining channel...", ""}));
    EXPECT_TRUE(dir.exists("setup.ini"));
    ASSERT_TRUE(eventually([&] { return state.connection().queued_count() == 3; }));
    std::string sent, heard;  // each in order; the two interleave as the network has it
    std::istringstream log(dir.read("log.txt"));
    for (std::string line; std::getline(log, line);) (line.starts_with("SEND: ") ? sent : heard) += line;
    EXPECT_EQ(heard, ":s NOTICE * :hello\r:s 001 me :Welcome\r:me!u@h JOIN #chan\r")
        << "the old log is gone";
    EXPECT_EQ(sent, "SEND: CAP LS 302\rSEND: USER undefined * * :*\rSEND: NICK me\rSEND: JOIN #chan\r");
    server.close_client();  // so the goodbye is not waited for
    EXPECT_TRUE(eventually([&] { return window.view().title == "Velmora"; }));
  }
}

TEST(StartIrc, DestroyAfterDeletesExactlyTheChosenFile) {
  TempFolder dir, elsewhere;
  ScriptedServer server;
  elsewhere.write("my settings.ini", settings_text(server.port(), "DESTROYAFTER=1\r\n"));
  dir.write("setup.ini", settings_text(server.port(), "DESTROYAFTER=1\r\n"));
  std::string first_word = elsewhere.file("my");
  const char* argv[] = {"velmora", first_word.c_str(), "settings.ini"};
  {
    AppState state(find_program_files(dir.path(), parse_command_line(3, argv).settings_argument,
                                      PathEnvironment{}));
    ASSERT_TRUE(state.start_connection());
    ASSERT_TRUE(server.wait_for_line("NICK me"));
    server.send_line(":s 001 me :Welcome");
    ASSERT_TRUE(eventually([&] { return !state.attempt_in_progress(); }));
    EXPECT_FALSE(elsewhere.exists("my settings.ini"));
    EXPECT_TRUE(dir.exists("setup.ini"));
    server.close_client();
  }
}

// Installed: no setup.ini beside the program, so the one in the XDG folder is read, and
// that one goes; the log is written, readable by the user only, in the state folder.
TEST(StartIrc, InstalledProgramUsesAndDeletesItsXdgFiles) {
  TempFolder prefix, home;
  ScriptedServer server;
  ASSERT_TRUE(make_private_folder(prefix.file("bin")));
  ASSERT_TRUE(make_private_folder(prefix.file("share/velmora")));
  prefix.write("share/velmora/gui.glade", "");
  const PathEnvironment env{home.path(), home.file("config"), home.file("state")};
  ASSERT_TRUE(make_private_folder(home.file("config/velmora")));
  home.write("config/velmora/setup.ini", settings_text(server.port(), "DESTROYAFTER=1\r\n"));
  const ProgramFiles files = find_program_files(prefix.file("bin"), "", env);
  ASSERT_EQ(files.settings_file, home.file("config/velmora/setup.ini"));
  ASSERT_TRUE(make_private_folder(files.log_folder));
  {
    AppState state(files);
    ASSERT_TRUE(state.start_connection());
    ASSERT_TRUE(server.wait_for_line("NICK me"));
    EXPECT_FALSE(state.start_connection());  // one attempt at a time
    server.send_line(":s 001 me :Welcome");  // the JOIN waits for it
    ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
    ASSERT_TRUE(eventually([&] { return !state.attempt_in_progress(); }));
    EXPECT_FALSE(home.exists("config/velmora/setup.ini"));
    server.send_line(":s NOTICE * :logged");
    ASSERT_TRUE(eventually([&] { return home.read("state/velmora/log.txt").find("logged") != std::string::npos; }));
    struct stat info {};
    ASSERT_EQ(::stat(home.file("state/velmora/log.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(prefix.exists("bin/log.txt"));
    server.close_client();
  }
}

// A server that is not up yet when the client starts is tried again and again, with
// the pauses after a drop (5, 10, 20, 40, then every 60 s), counting down, until the
// user stops it. It was given 3 tries in 10 s and then "Connection failed!" for good.
TEST(StartIrc, StartUpFailuresBackOffLikeADropUntilTheUserStops) {
  TempFolder dir;
  test_support::RefusingPort nobody;
  dir.write("setup.ini", settings_text(nobody.port()));
  RecordingState state(dir.path(), dir.file("setup.ini"), AppOptions{1ms});
  ASSERT_TRUE(state.start_connection());
  const auto countdowns = [&] {
    const std::vector<std::string> texts = state.texts();
    return std::count(texts.begin(), texts.end(), "Reconnecting in 1 second...");
  };
  ASSERT_TRUE(eventually([&] { return countdowns() >= 6; }, 10s));
  std::vector<std::string> firsts;  // the countdown's start after each failure
  const std::vector<std::string> texts = state.texts();
  for (std::size_t i = 1; i < texts.size() && firsts.size() < 6; ++i) {
    if (texts[i - 1].starts_with("Connection failed!")) firsts.push_back(texts[i]);
  }
  EXPECT_EQ(firsts, (std::vector<std::string>{
                        "Reconnecting in 5 seconds...", "Reconnecting in 10 seconds...",
                        "Reconnecting in 20 seconds...", "Reconnecting in 40 seconds...",
                        "Reconnecting in 60 seconds...", "Reconnecting in 60 seconds..."}));
  EXPECT_TRUE(state.saw("Connection failed! Connection refused by 127.0.0.1."));
  state.request_disconnect();
  EXPECT_TRUE(eventually([&] { return state.phase() == Phase::idle; }));
  EXPECT_EQ(state.phase_reason(), "Disconnected by the user");
}

// A window asleep on the change signal, looking only when it is raised, still sees a
// failed attempt turn into a wait to reconnect.
TEST(StartIrc, AFailedAttemptWakesASleepingWindow) {
  TempFolder dir;
  test_support::RefusingPort nobody;
  dir.write("setup.ini", settings_text(nobody.port()));
  AppState state(dir.path(), dir.file("setup.ini"), AppOptions{1s});
  ASSERT_TRUE(state.start_connection());
  bool woken = true;
  for (int looks = 0; woken && looks < 1000; ++looks) {
    state.drain_changes();
    if (state.reconnecting()) break;
    pollfd p{state.change_fd(), POLLIN, 0};
    woken = ::poll(&p, 1, 5000) == 1;
  }
  EXPECT_TRUE(woken);
  EXPECT_TRUE(state.reconnecting());
  EXPECT_FALSE(state.offline_shown());
}

TEST(StartIrc, DestructionDuringTheCountdownIsPrompt) {
  TempFolder dir;
  dir.write("setup.ini", settings_text(test_support::free_local_port()));
  auto start = std::chrono::steady_clock::now();
  {
    AppState state(dir.path(), dir.file("setup.ini"));  // one-second countdown steps
    ASSERT_TRUE(state.start_connection());
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// A host that never answers the connection attempt (its accept queue is full and
// never drained): closing the program must not wait for the kernel to give up.
TEST(StartIrc, DestructionWhileTheHostIsSilentIsPrompt) {
  TempFolder dir;
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), size), 0);
  dir.write("setup.ini", settings_text(ntohs(address.sin_port)));
  auto start = std::chrono::steady_clock::now();
  {
    AppState state(dir.path(), dir.file("setup.ini"));
    ASSERT_TRUE(state.start_connection());
    std::this_thread::sleep_for(200ms);  // the connect is under way
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  ::close(filler);
  ::close(listener);
}

TEST(StartIrc, DestructionSaysGoodbyeBounded) {
  TempFolder dir;
  ScriptedServer server;
  dir.write("setup.ini", settings_text(server.port()));
  auto state = std::make_unique<AppState>(dir.path(), dir.file("setup.ini"));
  ASSERT_TRUE(state->start_connection());
  ASSERT_TRUE(server.wait_for_line("NICK me"));
  server.send_line(":s 001 me :Welcome");
  ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
  auto start = std::chrono::steady_clock::now();
  state.reset();  // the server never closes
  EXPECT_TRUE(server.wait_for_line("QUIT :bye"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
}

// 1000 joiners at once: at most one names request at a time (it waits behind the
// welcomes), each joiner welcomed through the paced queue, and a line the user types
// goes out ahead of all of it.
TEST(StartIrc, JoinFloodNeitherFloodsTheServerNorHoldsBackTheUser) {
  TempFolder dir;
  ScriptedServer server;
  dir.write("setup.ini", settings_text(server.port(), "KEY=pw\r\n"));
  AppState state(dir.path(), dir.file("setup.ini"));
  ASSERT_TRUE(state.start_connection());
  ASSERT_TRUE(server.wait_for_line("NICK me"));
  server.send_line(":s 001 me :Welcome");  // the JOIN waits for it
  ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
  server.send(":me!u@h JOIN #chan\r\n:s 353 me = #chan :me\r\n:s 366 me #chan :End\r\n");
  ASSERT_TRUE(eventually([&] { return state.holds_key(); }));
  std::string joins;
  for (int i = 0; i < 1000; ++i) joins += ":n" + std::to_string(i) + "!u@h JOIN #chan\r\n";
  server.send(joins);
  ASSERT_TRUE(eventually([&] {
    while (state.connection().queued_count() > 0) state.connection().pop_line();  // the window's part
    return state.channel_users().size() == 1001;
  }));
  state.connection().send_line("PRIVMSG #chan :typed");
  ASSERT_TRUE(server.wait_for_line("PRIVMSG #chan :typed"));
  const auto lines = server.lines();
  const auto typed = std::find(lines.begin(), lines.end(), "PRIVMSG #chan :typed");
  const auto join = std::find(lines.begin(), lines.end(), "JOIN #chan");
  EXPECT_LE(typed - join, 1 + SendPace::kBurst + 1);
  EXPECT_LE(std::count(lines.begin(), lines.end(), "names #chan"), 1);
  server.close_client();
}

// 8 KB PINGs to a server that never reads: the answers pile up to the bound, then the
// connection is given up with a clear status instead of growing without end.
TEST(StartIrc, ServerThatNeverReadsIsDisconnected) {
  TempFolder dir;
  ScriptedServer server(":s NOTICE * :hello\r\n");
  dir.write("setup.ini", settings_text(server.port()));
  RecordingState state(dir.path(), dir.file("setup.ini"));
  ASSERT_TRUE(state.start_connection());
  ASSERT_TRUE(server.wait_for_line("NICK me"));
  server.send_line(":s 001 me :Welcome");  // the JOIN waits for it
  ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
  server.stop_reading();
  const std::string ping = "PING :" + std::string(8192, 'p') + "\r\n";
  // Well past the bound plus what both kernels' socket buffers absorb.
  for (int i = 0; i < 4000 && !state.connection().is_closed(); ++i) server.send(ping, 1s);
  EXPECT_TRUE(eventually([&] { return state.connection().is_closed(); }));
  EXPECT_LE(state.connection().socket().send_capacity(), 2 * ChatSocket::kMaxQueued);
  EXPECT_TRUE(eventually([&] {
    const std::vector<std::string> texts = state.texts();
    return std::count(texts.begin(), texts.end(), "Server is not reading; disconnected") > 0;
  }));
}

// A server that stops answering is pinged after a quiet spell and given up when the
// answer does not come; the client says so and tries again after a pause, until the
// user's disconnect stops it.
TEST(StartIrc, SilentServerIsGivenUpAndReconnectedUntilTheUserStops) {
  TempFolder dir;
  ScriptedServer server;
  dir.write("setup.ini", settings_text(server.port()));
  AppOptions options{20ms};
  options.quiet_before_ping = 200ms;
  options.ping_answer_wait = 300ms;
  RecordingState state(dir.path(), dir.file("setup.ini"), options);
  ASSERT_TRUE(state.start_connection());
  ASSERT_TRUE(server.wait_for_line("NICK me"));
  server.send_line(":s 001 me :Welcome");
  ASSERT_TRUE(server.wait_for_line("PING :velmora", 3s));
  const auto said = [&](const std::string& text) {
    return eventually([&] {
      const auto texts = state.texts();
      return std::find(texts.begin(), texts.end(), text) != texts.end();
    });
  };
  EXPECT_TRUE(said("Disconnected: no answer from the server (ping time-out)"));
  EXPECT_TRUE(said("Reconnecting in 5 seconds..."));
  ASSERT_TRUE(eventually([&] { return server.clients_accepted() == 2; }));
  server.send_line(":s 001 me :Welcome");
  ASSERT_TRUE(eventually([&] { return !state.attempt_in_progress(); }));
  server.close_client();  // the server goes away: said in words, and tried again
  EXPECT_TRUE(said("Disconnected: the server closed the connection"));
  ASSERT_TRUE(eventually([&] { return state.reconnecting(); }));
  state.request_disconnect();
  EXPECT_TRUE(eventually([&] { return !state.reconnecting(); }));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(server.clients_accepted(), 2);
  EXPECT_TRUE(state.start_connection());  // Connect works again at once
}

// After a drop, one attempt is refused once connected ("Trying to reconnect too fast");
// the next good connection must stay. The refused attempt's end used to be taken for
// the end of the good one, and every good connection was torn down after its welcome,
// for ever: a JOIN/QUIT flood that gets a user banned.
TEST(StartIrc, ARefusedReconnectDoesNotTearDownTheNextGoodConnection) {
  TempFolder dir;
  ScriptedServer server;
  dir.write("setup.ini", settings_text(server.port()));
  AppState state(dir.path(), dir.file("setup.ini"), AppOptions{20ms});
  const auto logins = [&] {
    const auto lines = server.lines();
    return std::count(lines.begin(), lines.end(), "NICK me");
  };
  ASSERT_TRUE(state.start_connection());
  ASSERT_TRUE(eventually([&] { return logins() == 1; }));
  server.send_line(":s 001 me :Welcome");
  ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
  server.close_client();  // the link drops
  ASSERT_TRUE(eventually([&] { return logins() == 2; }));
  server.send_line("ERROR :Trying to reconnect too fast");
  server.close_client();
  ASSERT_TRUE(eventually([&] { return logins() == 3; }));
  server.send_line(":s 001 me :Welcome");
  ASSERT_TRUE(eventually([&] {
    const auto lines = server.lines();
    return std::count(lines.begin(), lines.end(), "JOIN #chan") == 2;
  }));
  // Ten countdowns' worth: the flapping client was back within one.
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(server.clients_accepted(), 3);
  EXPECT_FALSE(state.connection().is_closed());
  server.close_client();
}

// A TLS handshake cut by the server is tried again like any failed connect; only a
// refused certificate stops the trying (TlsClients.RefusedCertificate...).
TEST(StartIrc, ACutTlsHandshakeIsTriedAgain) {
  TempFolder dir;
  ScriptedServer server;
  dir.write("setup.ini", settings_text(server.port(), "TLS=1\r\n"));
  RecordingState state(dir.path(), dir.file("setup.ini"), AppOptions{5ms});
  std::thread cutter([&] {
    for (int i = 1; i <= 2 && server.wait_for_clients(i, 10s); ++i) server.close_client();
  });
  ASSERT_TRUE(state.start_connection());
  EXPECT_TRUE(server.wait_for_clients(2, 10s));
  cutter.join();
  EXPECT_TRUE(state.saw("Reconnecting in 5 seconds..."));
  state.request_disconnect();
}

// A dead network path is noticed within 150 s: 90 s of quiet, then 60 s for the answer
// to our PING (the servers had dropped the ghost after 140 s; we took 310 s).
TEST(StartIrc, ADeadPathIsNoticedWithin150Seconds) {
  const AppOptions defaults;
  EXPECT_LE(defaults.quiet_before_ping + defaults.ping_answer_wait, 150s);
}

// The PRIVMSG lines queued for the window until a server NOTICE comes: who could read
// each, and its text.
using Chat = std::vector<std::pair<LinePrivacy, std::string>>;
Chat chat_until_notice(AppState& state) {
  Chat texts;
  bool notice = false;
  EXPECT_TRUE(eventually([&] {
    while (!notice && state.connection().queued_count() > 0) {
      const ReceivedLine line = state.connection().queue().pop();
      if (line.message.command == "PRIVMSG") texts.emplace_back(line.privacy, line.message.text());
      notice = line.message.command == "NOTICE";
    }
    return notice;
  }));
  return texts;
}

// A typed line and an action go to the channel the receive side has us in: as typed
// without a passphrase, sealed with one; a forward (470) moves both.
// With a passphrase, chat reaches the view only once we hold the key, and opened; each
// line carries who could read it, decided here and never by its text.
TEST(StartIrc, TypedLinesGoToTheChannelWeAreInAndChatComesBackOpened) {
  for (const bool sealed : {false, true}) {
    SCOPED_TRACE(sealed ? "sealed" : "plain");
    TempFolder dir;
    ScriptedServer server;
    dir.write("setup.ini", settings_text(server.port()) + (sealed ? "KEY=secret\r\n" : ""));
    RecordingState state(dir.path(), dir.file("setup.ini"));
    ASSERT_TRUE(state.start_connection());
    ASSERT_TRUE(server.wait_for_line("NICK me"));
    server.send_line(":s 001 me :Welcome");
    ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
    if (sealed) {
      server.send_line(":bob!u@h PRIVMSG #chan :@CRYPTO 0123456789ABCDEF");
      server.send_line(":s NOTICE me :mark");
      EXPECT_TRUE(chat_until_notice(state).empty()) << "no key yet: nothing to show";
      // Alone in the channel: we make the key.
      server.send(":me!u@h JOIN #chan\r\n:s 353 me = #chan :me\r\n:s 366 me #chan :End\r\n");
      ASSERT_TRUE(eventually([&] { return state.holds_key(); }));
    }
    server.send_line(":s 470 me #chan #chan2 :Forwarding");
    ASSERT_TRUE(eventually([&] { return state.current_channel() == "#chan2"; }));
    EXPECT_FALSE(state.connection().channel_tracker().in_channel()) << "not there until it says so";
    state.send_chat_line("hi there");
    state.send_action("waves");
    ASSERT_TRUE(server.wait_for_line_count(6));
    const std::vector<std::string> lines = server.lines();
    const std::string& chat = lines[4];
    const std::string& action = lines[5];
    // Plain words, a message to us alone, and one sealed under a key we do not hold.
    const std::vector<std::string> others{
        "PRIVMSG #chan2 :[private] looks sealed", "PRIVMSG me :just to you",
        "PRIVMSG #chan2 :@CRYPTO 0123456789ABCDEF0123456789ABCDEF"};
    const Chat others_shown{{LinePrivacy::Plain, "[private] looks sealed"},
                            {LinePrivacy::Direct, "just to you"},
                            {LinePrivacy::OtherKey, ""}};
    if (!sealed) {
      EXPECT_EQ(chat, "PRIVMSG #chan2 :hi there");
      EXPECT_EQ(action, "privmsg #chan2 :\x01" "action waves\x01");
      // Without a passphrase chat is shown all the same, as not private.
      server.send_line(":bob!u@h " + chat);
      for (const std::string& line : others) server.send_line(":bob!u@h " + line);
      server.send_line(":s NOTICE me :mark");
      Chat expected{{LinePrivacy::Plain, "hi there"}};
      expected.insert(expected.end(), others_shown.begin(), others_shown.end());
      EXPECT_EQ(chat_until_notice(state), expected);
      server.close_client();  // so the goodbye is not waited for
      continue;
    }
    const std::string prefix = "PRIVMSG #chan2 :";
    ASSERT_TRUE(chat.starts_with(prefix + "@CRYPTO ")) << chat;
    ASSERT_TRUE(action.starts_with(prefix + "\x01" "ACTION @CRYPTO ")) << action;
    // The same texts from a peer reach the view as words.
    server.send_line(":bob!u@h " + chat);
    server.send_line(":bob!u@h " + action);
    for (const std::string& line : others) server.send_line(":bob!u@h " + line);
    server.send_line(":s NOTICE me :mark");
    Chat expected{{LinePrivacy::Sealed, "hi there"}, {LinePrivacy::Sealed, "\x01" "ACTION waves\x01"}};
    expected.insert(expected.end(), others_shown.begin(), others_shown.end());
    EXPECT_EQ(chat_until_notice(state), expected);
    server.close_client();
  }
}

TEST(AppStateNgircd, LoginJoinNamesPingAndQuit) {
  test_support::NgircdServer ngircd(test_support::NgircdOptions{5, "", "", false, false});
  ASSERT_TRUE(ngircd.running());
  TempFolder dir;
  dir.write("setup.ini", settings_text(ngircd.port()));
  AppState state(dir.path(), dir.file("setup.ini"));
  ASSERT_TRUE(state.start_connection());
  ASSERT_TRUE(eventually([&] { return state.channel_users() == std::vector<std::string>{"me"}; }));
  EXPECT_EQ(state.connection().users(), std::vector<std::string>{"me"});
  // ngircd pings an idle client after its PingTimeout; answered, we stay connected.
  ASSERT_TRUE(eventually([&] {
    return state.take_raw_log().find("PING :") != std::string::npos;
  }, 12s));
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(state.connection().is_closed());
  state.connection().send_line("QUIT :done");
  EXPECT_TRUE(state.connection().wait_closed(5s));
}

}  // namespace
}  // namespace velmora
