// The connection against a scripted server on 127.0.0.1: login bytes, terminator
// detection, automatic replies, names, the queue's back-pressure and hostile servers.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <thread>

#include "irc/chat_log.h"
#include "irc/receive_hooks.h"
#include "irc/receive_loop.h"
#include "irc/server_connection.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/eventually.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::ScriptedServer;

// Consumes texts starting with "@", like the key-exchange rules do.
class RecordingHooks : public ReceiveHooks {
public:
  bool handle_message(const IrcMessage& m) override {
    std::lock_guard<std::mutex> hold(lock);
    seen.push_back(m.nick + ":" + m.text());
    return m.text().starts_with("@");
  }
  void names_stored(const std::vector<std::string>& users) override {
    std::lock_guard<std::mutex> hold(lock);
    names.push_back(users);
  }
  std::mutex lock;
  std::vector<std::string> seen;
  std::vector<std::vector<std::string>> names;
};

// Sanitizers keep shadow memory for everything the test touches.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr long kGrowthLimitKib = 96 * 1024;
#else
constexpr long kGrowthLimitKib = 16 * 1024;
#endif

long resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  }
  return 0;
}

class ConnectionTest : public ::testing::Test {
protected:
  void connect(ScriptedServer& server) {
    ASSERT_EQ(conn.open("127.0.0.1", server.port()), ConnectResult::connected);
    ASSERT_TRUE(conn.login({"me", "*", "", "undefined", "*", "*"}));
    ASSERT_TRUE(server.wait_for_line("NICK me"));
  }
  std::string pop_when_ready() {
    eventually([&] { return conn.queued_count() > 0; });
    return conn.pop_line();
  }
  test_support::TempFolder dir;
  ChatLog log{dir.file("log.txt")};
  RecordingHooks hooks;
  ServerConnection conn{log, &hooks};
};

TEST_F(ConnectionTest, LoginBytesWithoutPassword) {
  ScriptedServer server;
  auto start = std::chrono::steady_clock::now();
  connect(server);
  // A server that waits for the client to register is not waited for long.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(server.received(), "CAP LS 302\r\nUSER undefined * * :*\r\nNICK me\r\n");
}

TEST_F(ConnectionTest, LoginBytesWithPassword) {
  ScriptedServer server;
  ASSERT_EQ(conn.open("127.0.0.1", server.port()), ConnectResult::connected);
  ASSERT_TRUE(conn.login({"me", "*", "secret", "undefined", "*", "*"}));
  ASSERT_TRUE(conn.join("#chan"));
  ASSERT_TRUE(server.wait_for_line("JOIN #chan"));
  EXPECT_EQ(server.received(),
            "CAP LS 302\r\nPASS secret\r\nUSER undefined * * :*\r\nNICK me\r\nJOIN #chan\r\n");
  EXPECT_EQ(dir.read("log.txt"),  // logged like every line sent, the password masked
            "SEND: CAP LS 302\r\nSEND: PASS ****\r\nSEND: USER undefined * * :*\r\n"
            "SEND: NICK me\r\nSEND: JOIN #chan\r\n");
}

TEST_F(ConnectionTest, LoginRefusedWhenNotConnected) {
  EXPECT_FALSE(conn.login({"me", "*", "", "undefined", "*", "*"}));
  EXPECT_FALSE(conn.quit("bye"));
}

// The login leads, whatever waited: a line before it was answered "not registered".
TEST_F(ConnectionTest, TheLoginGoesBeforeOutputQueuedEarlier) {
  conn.send_line("PRIVMSG early :queued");
  ScriptedServer server;
  connect(server);
  ASSERT_TRUE(server.wait_for_line("PRIVMSG early :queued"));
  EXPECT_EQ(server.lines(), (std::vector<std::string>{"CAP LS 302", "USER undefined * * :*",
                                                      "NICK me", "PRIVMSG early :queued"}));
}

TEST_F(ConnectionTest, TerminatorFromTheGreeting) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {":s NOTICE * :hi\r\n", "\r\n"},
      {":s NOTICE * :hi\n", "\n"},
      {":s NOTICE * :a\n:s NOTICE * :b\r\n", "\r\n"},
      {std::string(":s NOTICE * :\0x\r\n", 17), "\r\n"},
      {std::string(600, 'x'), "\r\n"},  // nothing in the first 512 bytes
  };
  for (const auto& [greeting, expected] : cases) {
    ServerConnection c(log, nullptr);
    ScriptedServer server(greeting);  // gone first, so the goodbye is not waited for
    ASSERT_EQ(c.open("127.0.0.1", server.port()), ConnectResult::connected);
    ASSERT_TRUE(c.login({"me", "*", "", "undefined", "*", "*"}));
    EXPECT_TRUE(eventually([&] { return c.terminator() == expected; })) << c.terminator();
  }
}

// The first lines cut in two at every byte, the halves in separate segments: the
// client still reads them as the server meant and answers the PING.
TEST_F(ConnectionTest, FirstLinesSplitAnywhereStillHeard) {
  const std::string first = ":s 001 me :Welcome\r\nPING :x\r\n";
  for (std::size_t cut = 1; cut < first.size(); ++cut) {
    ServerConnection c(log, nullptr);
    ScriptedServer server;
    std::thread speaker([&] {
      server.wait_for_client();
      server.send(first.substr(0, cut));
      std::this_thread::sleep_for(20ms);
      server.send(first.substr(cut));
    });
    ASSERT_EQ(c.open("127.0.0.1", server.port()), ConnectResult::connected);
    ASSERT_TRUE(c.login({"me", "*", "", "undefined", "*", "*"}));
    EXPECT_TRUE(server.wait_for_line("PONG :x", 2s)) << "cut after " << cut;
    EXPECT_EQ(c.terminator(), "\r\n");
    speaker.join();
  }
}

// The same when the server speaks only after the login: the receive thread learns it.
TEST_F(ConnectionTest, SplitCrLfAfterTheLoginStillHeard) {
  ScriptedServer server;
  connect(server);
  server.send(":s 001 me :Welcome\r");
  std::this_thread::sleep_for(30ms);
  server.send("\nPING :x\r\n");
  EXPECT_TRUE(server.wait_for_line("PONG :x", 2s));
  EXPECT_EQ(pop_when_ready(), ":s 001 me :Welcome");
}

TEST_F(ConnectionTest, SilentServerTerminatorLearnedLater) {
  ScriptedServer server;
  connect(server);
  EXPECT_EQ(conn.terminator(), "");
  server.send(":s 001 me :Welcome\n:s 002 me :Host\n");
  EXPECT_EQ(pop_when_ready(), ":s 001 me :Welcome");
  EXPECT_EQ(pop_when_ready(), ":s 002 me :Host");
  EXPECT_EQ(conn.terminator(), "\n");
}

class RecordingEvents : public LinkEvents {
public:
  void link_welcomed(std::uint64_t) override {}
  void link_ended(std::uint64_t generation, const std::string& reason) override {
    std::lock_guard<std::mutex> hold(lock);
    ends.emplace_back(generation, reason);
  }
  std::vector<std::pair<std::uint64_t, std::string>> taken() {
    std::lock_guard<std::mutex> hold(lock);
    return ends;
  }
  std::mutex lock;
  std::vector<std::pair<std::uint64_t, std::string>> ends;
};

// How a connection ended before the welcome, in words; a plain login to a TLS-only
// port (closed in silence or answered with a TLS alert) says TLS may be expected.
TEST_F(ConnectionTest, AnEndBeforeTheWelcomeIsSaidInWords) {
  const std::string closed = "The server closed the connection before welcoming us";
  const std::string tls = closed + "; it may expect TLS (PORT=6697 or TLS=1)";
  const std::pair<std::string, std::string> cases[] = {
      {"", tls},
      {std::string("\x15\x03\x03\x00\x02\x02\x32", 7), tls},
      {":s NOTICE * :hello\r\n", closed},
      {"ERROR :Trying to reconnect too fast\r\n",
       "Disconnected by the server: Trying to reconnect too fast"},
  };
  for (const auto& [said, reason] : cases) {
    RecordingEvents events;
    ServerConnection c(log, nullptr);
    c.set_link_events(&events);
    ScriptedServer server(said);
    ASSERT_EQ(c.open("127.0.0.1", server.port()), ConnectResult::connected);
    ASSERT_TRUE(c.login({"me", "*", "", "undefined", "*", "*"}));
    ASSERT_TRUE(server.wait_for_line("NICK me"));
    server.close_client();
    ASSERT_TRUE(eventually([&] { return !events.taken().empty(); }));
    EXPECT_EQ(events.taken()[0], std::make_pair(c.generation(), reason));
  }
}

// Our channel: joined with its key, joined again when we are invited, and once more 5 s
// after a kick, but not after a second kick within a minute.
TEST_F(ConnectionTest, ChannelKeyInviteAndOneRejoinAfterAKick) {
  ScriptedServer server;
  RegistrationPlan plan;
  plan.channel = "#chan";
  plan.channel_key = "letmein";
  conn.set_registration(plan);
  connect(server);
  const auto joins = [&] {
    const auto lines = server.lines();
    return std::count(lines.begin(), lines.end(), "JOIN #chan letmein");
  };
  server.send_line(":s 001 me :Welcome");
  ASSERT_TRUE(eventually([&] { return joins() == 1; }));
  server.send_line(":op!u@h INVITE me :#Chan");
  server.send_line(":op!u@h INVITE me :#other");
  ASSERT_TRUE(eventually([&] { return joins() == 2; }));
  const auto kicked = std::chrono::steady_clock::now();
  server.send_line(":op!u@h KICK #chan me :out");
  ASSERT_TRUE(eventually([&] { return joins() == 3; }, 10s));
  EXPECT_GE(std::chrono::steady_clock::now() - kicked, RejoinAfterKick::kDelay);
  server.send_line(":op!u@h KICK #chan me :and stay out");
  server.send_line("PING :after");
  ASSERT_TRUE(server.wait_for_line("PONG :after"));
  std::this_thread::sleep_for(RejoinAfterKick::kDelay + 1s);
  EXPECT_EQ(joins(), 3);
  EXPECT_EQ(server.lines().size(), std::size_t{3 + 3 + 1}) << "nothing else was sent";
}

TEST_F(ConnectionTest, ServerPingAnsweredNotShownAndLoggedAsSent) {
  ScriptedServer server;
  connect(server);
  server.send("PING :server1\r\n:irc.example PING :x\r\n");
  EXPECT_TRUE(server.wait_for_line("PONG :server1"));
  EXPECT_TRUE(server.wait_for_line("PONG :x"));
  server.send(":a!u@h PRIVMSG #c :after\r\n");
  EXPECT_EQ(pop_when_ready(), ":a!u@h PRIVMSG #c :after");
  const std::string logged = dir.read("log.txt");
  for (const char* line : {"PING :server1\r\n", "SEND: PONG :server1\r\n", "SEND: PONG :x\r\n"}) {
    EXPECT_NE(logged.find(line), std::string::npos) << line;  // sent lines are logged alike
  }
}

TEST_F(ConnectionTest, SendMessageLogsAndSends) {
  ScriptedServer server;
  connect(server);
  conn.send_message("PRIVMSG", "#chan", "hi");
  conn.send_message("PRIVMSG", "#chan", "");
  EXPECT_TRUE(server.wait_for_line("PRIVMSG #chan :"));
  EXPECT_TRUE(server.wait_for_line("PRIVMSG #chan :hi"));
  EXPECT_TRUE(log.take_raw_log().ends_with("SEND: PRIVMSG #chan :hi\r\nSEND: PRIVMSG #chan :\r\n"));
}

TEST_F(ConnectionTest, ClientQueriesAnsweredAtMostFivePerWindow) {
  ScriptedServer server;
  connect(server);
  for (int i = 0; i < 8; ++i) server.send(":bob!u@h PRIVMSG me :\x01VERSION\x01\r\n");
  server.send(":bob!u@h NOTICE me :\x01PING 1\x01\r\nPING :last\r\n");
  ASSERT_TRUE(server.wait_for_line("PONG :last"));  // the PONG may pass the paced replies
  const auto replies = [&] {
    const auto lines = server.lines();
    return std::count(lines.begin(), lines.end(), "NOTICE bob :\x01VERSION Velmora:1.0:Windows\x01");
  };
  ASSERT_TRUE(eventually([&] { return replies() == 5; }));
  EXPECT_EQ(conn.outbound().waiting(), 0u) << "no sixth reply waits for its turn";
  // The NOTICE query is shown, not answered; the dropped queries are not shown.
  EXPECT_EQ(pop_when_ready(), ":bob!u@h NOTICE me :\x01PING 1\x01");
  EXPECT_EQ(conn.queued_count(), 0);
}

TEST_F(ConnectionTest, NamesCollectedAcrossReplies) {
  ScriptedServer server;
  connect(server);
  server.send(":s 353 me = #c :@alice +bob carol\r\n:s 353 me = #c :-dave @@x\r\n"
              ":s 366 me #c :End\r\n:s 366 me #c :End\r\nPING :sync\r\n");
  ASSERT_TRUE(server.wait_for_line("PONG :sync"));
  EXPECT_EQ(conn.users(), std::vector<std::string>{});  // the second 366 had no 353
  std::lock_guard<std::mutex> hold(hooks.lock);
  ASSERT_EQ(hooks.names.size(), 2u);
  EXPECT_EQ(hooks.names[0], (std::vector<std::string>{"alice", "bob", "carol", "dave", "@x"}));
  EXPECT_EQ(conn.queued_count(), 0);
}

// A names list is bounded in bytes, and a word too long to be a nick is no nick.
TEST_F(ConnectionTest, NamesBoundedInBytesAndNickLength) {
  ReceiveLoop loop(conn);
  const std::string n64(64, 'n'), n65(65, 'm');
  loop.handle_line(":s 353 me = #c :@alice " + n64 + " +" + n64 + " " + n65 + " +" + n65 + " bob");
  loop.handle_line(":s 366 me #c :End");
  EXPECT_EQ(conn.users(), (std::vector<std::string>{"alice", n64, n64, "bob"}));

  for (int i = 0; i < 100; ++i) loop.handle_line(":s 353 me = #c :" + std::string(60000, 'x'));
  std::string many;
  for (int i = 0; i < 900; ++i) many += n64 + " ";
  for (int i = 0; i < 100; ++i) loop.handle_line(":s 353 me = #c :" + many);  // 5.8 MB of nicks
  loop.handle_line(":s 366 me #c :End");
  const std::vector<std::string> users = conn.users();
  std::size_t bytes = 0;
  for (const std::string& user : users) bytes += user.size() + sizeof(std::string);
  EXPECT_LE(bytes, kMaxNamesBytes);
  EXPECT_GT(users.size(), 40000u);
  EXPECT_EQ(users.front(), n64);
}

TEST_F(ConnectionTest, HookConsumedLinesAreNotQueued) {
  ScriptedServer server;
  connect(server);
  server.send(":bob!u@h PRIVMSG me :@PUBLIC 123\r\n:bob!u@h JOIN #c\r\n");
  EXPECT_EQ(pop_when_ready(), ":bob!u@h JOIN #c");
  EXPECT_EQ(conn.queued_count(), 0);
  std::lock_guard<std::mutex> hold(hooks.lock);
  EXPECT_EQ(hooks.seen, (std::vector<std::string>{"bob:@PUBLIC 123", "bob:#c"}));
}

// Lines of a burst are logged in one write, but never after the window can see them:
// every line popped from the queue is already in log.txt.
TEST_F(ConnectionTest, EveryQueuedLineIsAlreadyInTheLogFile) {
  ScriptedServer server(":s NOTICE * :hi\r\n");
  connect(server);
  std::string burst;
  for (int i = 0; i < 200; ++i) burst += ":a!u@h PRIVMSG #c :line " + std::to_string(i) + "\r\n";
  server.send(burst);
  EXPECT_EQ(pop_when_ready(), ":s NOTICE * :hi");
  for (int i = 0; i < 200; ++i) {
    const std::string line = pop_when_ready();
    ASSERT_EQ(line, ":a!u@h PRIVMSG #c :line " + std::to_string(i));
    ASSERT_NE(dir.read("log.txt").find(line + "\r\n"), std::string::npos) << line;
  }
}

TEST_F(ConnectionTest, DelimiterSplitAcrossReceipts) {
  ScriptedServer server(":s NOTICE * :hi\r\n");
  connect(server);
  EXPECT_EQ(pop_when_ready(), ":s NOTICE * :hi");
  server.send("abc\r");
  std::this_thread::sleep_for(30ms);
  server.send("\ndef\r\n");
  EXPECT_EQ(pop_when_ready(), "abc");
  EXPECT_EQ(pop_when_ready(), "def");
}

TEST_F(ConnectionTest, CloseMidLineKeepsThePartialLine) {
  ScriptedServer server(":s NOTICE * :hi\r\n");
  connect(server);
  server.send(":a!u@h PRIVMSG #c :one\r\n:a!u@h PRIVMSG #c :par");
  server.close_client();
  EXPECT_EQ(pop_when_ready(), ":s NOTICE * :hi");
  EXPECT_EQ(pop_when_ready(), ":a!u@h PRIVMSG #c :one");
  EXPECT_EQ(pop_when_ready(), ":a!u@h PRIVMSG #c :par");
  EXPECT_TRUE(eventually([&] { return conn.is_closed(); }));
}

// The window may lag far behind; the receive thread does not wait for it.
TEST_F(ConnectionTest, PingBehindABacklogIsAnsweredAtOnce) {
  ScriptedServer server(":s NOTICE * :0\r\n");
  connect(server);
  std::string burst;
  for (int i = 1; i < 3000; ++i) burst += ":s NOTICE * :" + std::to_string(i) + "\r\n";
  server.send(burst + "PING :behind\r\n");
  EXPECT_TRUE(server.wait_for_line("PONG :behind", 2s));
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(pop_when_ready(), ":s NOTICE * :" + std::to_string(i));
  }
}

TEST_F(ConnectionTest, NulAndHighBytesPassThrough) {
  ScriptedServer server(":s NOTICE * :hi\r\n");
  connect(server);
  std::string line(":a!u@h PRIVMSG #c :\0\xff\x80 z", 25);
  server.send(line + "\r\n");
  EXPECT_EQ(pop_when_ready(), ":s NOTICE * :hi");
  EXPECT_EQ(pop_when_ready(), line);
}

TEST_F(ConnectionTest, HugeLineIsCutToOneLineAndPingStillAnswered) {
  ScriptedServer server(":s NOTICE * :hi\r\n");
  connect(server);
  EXPECT_EQ(pop_when_ready(), ":s NOTICE * :hi");
  long before = resident_kib();
  std::string chunk(1 << 20, 'x');
  std::size_t sent = 0;
  for (int i = 0; i < 10; ++i) sent += server.send(chunk, 10s);
  EXPECT_EQ(sent, 10u << 20);
  server.send("\r\nPING :after\r\n");
  EXPECT_TRUE(server.wait_for_line("PONG :after", 10s));
  std::string cut = pop_when_ready();
  EXPECT_EQ(cut.size(), ChatSocket::kMaxLine);
  EXPECT_EQ(conn.queued_count(), 0);
  EXPECT_LT(resident_kib() - before, kGrowthLimitKib);
}

// Nobody draining: the client keeps reading and answering, memory stays bounded, and
// the window later learns how many lines it could not be shown.
// Nobody draining: the client keeps reading and answering, memory stays bounded, and
// the window later learns how many lines it could not be shown.
TEST_F(ConnectionTest, FloodWithNobodyDrainingStaysBoundedAndAnswered) {
  ServerConnection c(log, nullptr);  // the recording hooks would keep every line
  ScriptedServer server(":s NOTICE * :hi\r\n");
  ASSERT_EQ(c.open("127.0.0.1", server.port()), ConnectResult::connected);
  ASSERT_TRUE(c.login({"me", "*", "", "undefined", "*", "*"}));
  [[maybe_unused]] const long before = resident_kib();
  std::string block;
  while (block.size() < (1 << 20)) block += ":a!u@h PRIVMSG #c :" + std::string(80, 'f') + "\r\n";
  for (int i = 0; i < 30; ++i) ASSERT_EQ(server.send(block, 10s), block.size());
  server.send("PING :afterflood\r\n");
  EXPECT_TRUE(server.wait_for_line("PONG :afterflood", 10s));
#if !defined(__SANITIZE_ADDRESS__)  // its quarantine keeps every freed line resident
  EXPECT_LT(resident_kib() - before, kGrowthLimitKib);
#endif
  EXPECT_LE(c.queued_count() * 100, static_cast<int>(InboundQueue::kMaxBytes));
  EXPECT_EQ(c.pop_line(), ":s NOTICE * :hi");
  ReceivedLine item;
  while ((item = c.queue().pop()).raw.starts_with(":a!u@h PRIVMSG #c :")) {}
  ASSERT_TRUE(item.note) << item.raw;
  EXPECT_EQ(item.note->kind, ViewNote::Kind::NotShown);
  EXPECT_TRUE(item.note->text.ends_with(" lines not shown: the view fell behind the server")) << item.note->text;
  server.close_client();
}

TEST_F(ConnectionTest, QuitIsBoundedWhenTheServerNeverCloses) {
  ScriptedServer server;
  connect(server);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(conn.quit("bye"));
  EXPECT_TRUE(server.wait_for_line("QUIT :bye"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, ServerConnection::kQuitWait + 1s);
}

TEST_F(ConnectionTest, QuitReturnsWhenTheServerCloses) {
  ScriptedServer server;
  connect(server);
  std::thread closer([&] {
    server.wait_for_line("QUIT :bye");
    server.close_client();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(conn.quit("bye"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  closer.join();
}

TEST(ConnectionShutdown, BoundedWhenTheServerStopsReading) {
  ScriptedServer server;
  test_support::TempFolder dir;
  ChatLog log(dir.file("log.txt"));
  auto conn = std::make_unique<ServerConnection>(log, nullptr);
  ASSERT_EQ(conn->open("127.0.0.1", server.port()), ConnectResult::connected);
  ASSERT_TRUE(conn->login({"me", "*", "", "undefined", "*", "*"}));
  ASSERT_TRUE(server.wait_for_line("NICK me"));
  server.stop_reading();
  std::string filler(64 * 1024, 'y');
  for (int i = 0; i < 200; ++i) conn->socket().put_line(filler);  // 13 MB never read
  auto start = std::chrono::steady_clock::now();
  conn.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

}  // namespace
}  // namespace velmora
