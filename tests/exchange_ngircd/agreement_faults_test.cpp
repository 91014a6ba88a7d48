// The ways a channel once ended on two keys, or a newcomer on none, tried through a
// real server: members without the passphrase that refuse, flood or claim to hold the
// key, a client restarted at once, a holder back with a stale key or another nick.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "irc/irc_message.h"
#include "secure/control_text.h"
#include "tests/exchange_ngircd/channel_client.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/raw_client.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::Client;
using test_support::eventually;
using test_support::NgircdServer;
using test_support::RawClient;

// In the channel without the passphrase: reads what it is sent and answers through
// `react` (a line to send, or nothing), on a thread of its own until it goes.
class Attacker {
public:
  Attacker(int port, const std::string& nick, std::function<std::string(const IrcMessage&)> react)
      : client_(port, nick), react_(std::move(react)) {
    client_.say("JOIN #room");
    thread_ = std::thread([this] {
      while (!stop_) {
        const std::string line = client_.read_line(100ms);
        if (line.empty()) continue;
        if (line.starts_with("PING")) client_.say("PONG" + line.substr(4));
        if (const std::string answer = react_(parse_line(line)); !answer.empty()) client_.say(answer);
      }
    });
  }
  ~Attacker() {
    stop_ = true;
    thread_.join();
  }
  void say(const std::string& line) { client_.say(line); }

private:
  RawClient client_;
  std::function<std::string(const IrcMessage&)> react_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void connect_and_hold_key(Client& client) {
  ASSERT_TRUE(client.state().start_connection());
  ASSERT_TRUE(eventually([&] { return client.holds_key(); }, 20s))
      << client.nick() << ": " << client.state().status_text();
}

bool lists(Client& client, const std::string& nick, bool present = true,
           std::chrono::milliseconds bound = 5s) {
  return eventually([&] {
    const std::vector<std::string> users = client.state().channel_users();
    return (std::find(users.begin(), users.end(), nick) != users.end()) == present;
  }, bound);
}

std::string key_of(Client& client) { return client.state().security().channel_key(); }

// Joe's nick was used a moment before by someone who left; mallory welcomes joe first
// with the channel's check and refuses his request with his own token. Joe still holds
// the channel's key within 20 s.
TEST(AgreementThroughServer, ARefusingMemberCannotLockAJoinerOut) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(alice));
  {
    RawClient squatter(server.port(), "joe");
    squatter.say("JOIN #room");
    ASSERT_TRUE(lists(alice, "joe"));
    squatter.say("QUIT");
    ASSERT_TRUE(lists(alice, "joe", false));
  }
  const std::string check = key_check(key_of(alice));
  Attacker mallory(server.port(), "mallory", [&](const IrcMessage& m) -> std::string {
    if (m.command == "JOIN" && m.nick == "joe") return "PRIVMSG joe :@AUTHENTICATED " + check;
    if (m.command == "PRIVMSG" && m.text().starts_with("@PUBLIC")) {
      return "PRIVMSG " + m.nick + " :@BADAUTH " + std::string(last_characters(m.text(), 64));
    }
    return {};
  });
  ASSERT_TRUE(lists(alice, "mallory"));
  Client joe(server.port(), "joe", "pass");
  ASSERT_TRUE(joe.state().start_connection());
  EXPECT_TRUE(eventually([&] { return joe.holds_key(); }, 20s)) << joe.state().status_text();
  EXPECT_EQ(key_of(joe), key_of(alice));
}

// Thousands of bogus requests from a member do not hold up a genuine answer.
TEST(AgreementThroughServer, ABogusRequestFloodDelaysNoGenuineAnswer) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(alice));
  Attacker mallory(server.port(), "mallory", [](const IrcMessage&) { return std::string(); });
  ASSERT_TRUE(lists(alice, "mallory"));
  const std::string bogus = "PRIVMSG alice :@PUBLIC 5 " + std::string(64, 'A') + "\r\n";
  for (int burst = 0; burst < 30; ++burst) {
    std::string lines;
    for (int i = 0; i < 100; ++i) lines += bogus;
    mallory.say(lines.substr(0, lines.size() - 2));
    std::this_thread::sleep_for(10ms);
  }
  Client joe(server.port(), "joe", "pass");
  ASSERT_TRUE(joe.state().start_connection());
  EXPECT_TRUE(eventually([&] { return joe.holds_key(); }, 20s)) << joe.state().status_text();
  EXPECT_EQ(key_of(joe), key_of(alice));
}

// Two members without the passphrase claim to hold the key; with MAXUSERS=3 alice
// still serves a genuine newcomer.
TEST(AgreementThroughServer, ClaimsOfHoldingDoNotFillTheHolderLimit) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "pass", "MAXUSERS=3\n");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(alice));
  const std::string claim = "PRIVMSG #room :@AUTHENTICATED " + key_check(key_of(alice));
  Attacker fake1(server.port(), "fake1", [](const IrcMessage&) { return std::string(); });
  Attacker fake2(server.port(), "fake2", [](const IrcMessage&) { return std::string(); });
  ASSERT_TRUE(lists(alice, "fake1") && lists(alice, "fake2"));
  fake1.say(claim);
  fake2.say(claim);
  Client joe(server.port(), "joe", "pass");
  ASSERT_TRUE(joe.state().start_connection());
  EXPECT_TRUE(eventually([&] { return joe.holds_key(); }, 20s)) << joe.state().status_text();
  EXPECT_EQ(key_of(joe), key_of(alice));
}

// Bob's program is started again three times within seconds: each time he is welcomed
// and asks for the channel's key rather than making one of his own.
TEST(AgreementThroughServer, AClientRestartedAtOnceGetsTheChannelsKey) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(alice));
  const std::string key = key_of(alice);
  Client bob(server.port(), "bob", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(bob));
  for (int round = 0; round < 3; ++round) {
    bob.restart();
    ASSERT_TRUE(bob.state().start_connection());
    EXPECT_TRUE(eventually([&] { return key_of(bob) == key; }, 20s)) << "round " << round;
    EXPECT_EQ(key_of(alice), key);
  }
}

// Bob's link drops; while he is away carol finds the channel empty and makes a new
// key. Bob comes back by himself holding the old one: whichever key wins, both end on
// one. (Three times over: either key may win.)
TEST(AgreementThroughServer, AHolderBackWithAStaleKeyEndsOnOneKey) {
  for (int round = 0; round < 3; ++round) {
    NgircdServer server;
    ASSERT_TRUE(server.running());
    Client bob(server.port(), "bob", "pass");
    ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(bob));
    const std::string stale = key_of(bob);
    bob.state().connection().cut("link lost");  // back by itself in 5 s
    Client carol(server.port(), "carol", "pass");
    ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(carol));
    ASSERT_NE(key_of(carol), stale);
    EXPECT_TRUE(lists(carol, "bob", true, 15s));
    EXPECT_TRUE(eventually([&] { return bob.holds_key() && key_of(bob) == key_of(carol); }, 30s))
        << "round " << round;
  }
}

// Alice's nick is still taken when she comes back, so she is alice_: she still holds
// the key, welcomes a newcomer and reads him.
TEST(AgreementThroughServer, AHolderBackUnderAnotherNickKeepsHoldingAndWelcoming) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(alice));
  alice.state().request_disconnect();
  ASSERT_TRUE(eventually([&] { return alice.state().phase() == Phase::idle; }));
  RawClient ghost(server.port(), "alice");
  ASSERT_TRUE(ghost.wait_for(" 001 ", 5s));
  ASSERT_TRUE(alice.state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice.state().current_nick() == "alice_" && lists(alice, "alice_"); }));
  EXPECT_TRUE(alice.holds_key());
  Client bob(server.port(), "bob", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(bob));
  EXPECT_EQ(key_of(bob), key_of(alice));
  bob.say("hello alice_");
  EXPECT_TRUE(alice.wait_for_text("hello alice_"));
}

}  // namespace
}  // namespace velmora
