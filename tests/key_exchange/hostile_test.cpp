// Members and outsiders who do not follow the rules: forged welcomes and keys, holders
// that never answer, join floods and announcement floods.

#include <gtest/gtest.h>

#include "secure/control_text.h"
#include "secure/hex.h"
#include "secure/random_source.h"
#include "tests/key_exchange/exchange_harness.h"

namespace velmora {
namespace {

using test_support::Client;
using test_support::SentMessage;
using std::chrono::seconds;

const std::string channel_key(56, 'K');

void make_holder(Client& c, const std::vector<std::string>& users) {
  c.env.users = users;
  c.security.set_channel_key(channel_key);
  c.peers.set(c.env.nick, 1);
}

std::vector<std::string> targets(Client& c) {
  std::vector<std::string> out;
  for (const SentMessage& m : c.env.take_sent()) out.push_back(m.target);
  return out;
}

// What someone without the passphrase can send: a valid public value and a key text
// of the right length that was never sealed under the transport key.
void send_forged_answer(Client& victim, const std::string& forger) {
  victim.exchange->handle_message(forger, "PRIVMSG", "@XPUBLIC 2");
  victim.exchange->handle_message(forger, "PRIVMSG", "@XKEY " + hex_encode(random_bytes(72)));
}

// Holder answers go from `h` to `j` through the rules of both.
void answer_from(Client& h, Client& j) {
  for (const SentMessage& m : j.env.take_sent()) {
    if (m.target == h.env.nick) h.exchange->handle_message(j.env.nick, m.command, m.text);
  }
  for (const SentMessage& m : h.env.take_sent()) {
    j.exchange->handle_message(h.env.nick, m.command, m.text);
  }
}

TEST(Hostile, OnlyAWelcomeFromAListedNickStartsARequest) {
  struct Case {
    const char* name;
    bool before_names;  // the welcome arrives between registration and our names list
    const char* sender;
    std::vector<std::string> expected_targets;
  };
  const Case cases[] = {
      {"outsider before join", true, "mallory", {}},
      {"outsider after join", false, "mallory", {}},
      {"holder before join", true, "h", {"h"}},
      {"holder after join", false, "h", {"h"}},
  };
  for (const Case& c : cases) {
    Client j("joe", "pw");
    j.env.users = {"h", "joe"};
    if (c.before_names) {
      EXPECT_TRUE(j.exchange->handle_message(c.sender, "PRIVMSG", "@AUTHENTICATED"));
      EXPECT_TRUE(j.env.sent.empty()) << c.name;
      j.exchange->handle_names_end();
    } else {
      j.exchange->handle_names_end();
      j.exchange->handle_message(c.sender, "PRIVMSG", "@AUTHENTICATED");
    }
    EXPECT_EQ(targets(j), c.expected_targets) << c.name;
  }
}

TEST(Hostile, ForgedKeysAreNeverAdoptedAndTheRealHolderIsAskedNext) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe", "mallory"});
  j.env.users = {"h", "joe", "mallory"};
  for (int i = 0; i < 1000; ++i) send_forged_answer(j, "outsider");  // before our join
  j.exchange->handle_message("mallory", "PRIVMSG", "@AUTHENTICATED");
  j.exchange->handle_names_end();
  j.exchange->handle_message("h", "PRIVMSG", "@AUTHENTICATED");
  ASSERT_EQ(targets(j), std::vector<std::string>{"mallory"});  // she welcomed us first
  for (int i = 0; i < 2000; ++i) {
    send_forged_answer(j, i % 2 ? "mallory" : "outsider");
    ASSERT_TRUE(j.security.channel_key().empty());
    ASSERT_FALSE(j.holds_key());
  }
  // One failed key ends the exchange with her; the request went on to h.
  EXPECT_EQ(j.env.sent.size(), 1u);
  EXPECT_EQ(j.env.sent.at(0).target, "h");
  answer_from(h, j);
  EXPECT_EQ(j.security.channel_key(), channel_key);
}

TEST(Hostile, AnUnansweredRequestMovesOnAndStartsOverButNeverSplitsTheChannel) {
  Client j("joe", "pw");
  j.env.users = {"h1", "joe", "h2"};
  j.exchange->handle_names_end();
  j.exchange->handle_message("h2", "PRIVMSG", "@AUTHENTICATED");
  j.exchange->handle_message("h1", "PRIVMSG", "@AUTHENTICATED");
  EXPECT_EQ(targets(j), std::vector<std::string>{"h2"});
  j.wait(seconds(9));
  EXPECT_TRUE(j.env.sent.empty());
  j.wait(seconds(1));
  EXPECT_EQ(j.env.last_status(), "No answer from h2; asking h1...");
  EXPECT_EQ(targets(j), std::vector<std::string>{"h1"});
  j.wait(seconds(10));
  EXPECT_EQ(j.env.last_status(), "No answer from h1; asking again in 30 seconds...");
  j.wait(seconds(29));
  EXPECT_TRUE(j.env.sent.empty());
  j.wait(seconds(1));
  EXPECT_EQ(targets(j), std::vector<std::string>{"h2"});
  EXPECT_TRUE(j.security.channel_key().empty());
  // An @XPUBLIC buys the holder another 10 s for its @XKEY, no more.
  j.exchange->handle_message("h2", "PRIVMSG", "@XPUBLIC 2");
  j.wait(seconds(9));
  EXPECT_TRUE(j.env.sent.empty());
  j.wait(seconds(1));
  EXPECT_EQ(targets(j), std::vector<std::string>{"h1"});
}

// A herd of joiners all asked the one holder; as newcomers get the key and announce
// it, a joiner still waiting for its first answer after a second moves to the holder
// its nick falls on, and answers to joiners that hold our key by now are not sent.
TEST(Hostile, WaitingJoinersSpreadOverNewHolders) {
  int moved = 0;
  for (int i = 0; i < 20; ++i) {
    Client j("joiner" + std::to_string(i), "pw");
    j.env.users = {"h", j.env.nick, "n1", "n2"};
    j.exchange->handle_names_end();
    j.exchange->handle_message("h", "PRIVMSG", "@AUTHENTICATED");
    EXPECT_EQ(targets(j), std::vector<std::string>{"h"});
    j.exchange->handle_message("n1", "PRIVMSG", "@AUTHENTICATED");  // too soon to move
    EXPECT_TRUE(j.env.sent.empty());
    j.now += seconds(1);
    j.exchange->handle_message("n2", "PRIVMSG", "@AUTHENTICATED");
    for (const std::string& target : targets(j)) {
      EXPECT_TRUE(target == "n1" || target == "n2") << target;
      ++moved;
    }
  }
  EXPECT_GT(moved, 5);
  EXPECT_LT(moved, 20);

  Client h("h", "pw");
  make_holder(h, {"h", "joe", "other"});
  EXPECT_TRUE(h.exchange->answer_wanted("joe"));
  h.exchange->handle_message("joe", "PRIVMSG", announcement(channel_key));
  EXPECT_FALSE(h.exchange->answer_wanted("joe"));
  h.exchange->handle_message("other", "PRIVMSG", announcement(std::string(56, 'O')));
  EXPECT_TRUE(h.exchange->answer_wanted("other"));  // holds another key: may ask for ours
}

TEST(Hostile, AJoinerIsWelcomedAtMostOnceIn30Seconds) {
  Client h("h", "pw");
  make_holder(h, {"h"});
  for (int i = 0; i < 100; ++i) {
    h.exchange->handle_message("joe", "JOIN", "#velmora");
    h.exchange->handle_message("joe", "PART", "#velmora");
  }
  EXPECT_EQ(targets(h), std::vector<std::string>{"joe"});
  h.wait(seconds(30));
  h.exchange->handle_message("joe", "JOIN", "#velmora");
  EXPECT_EQ(targets(h), std::vector<std::string>{"joe"});
}

TEST(Hostile, AnnouncementFloodIsBoundedAndKeepsTheChannel) {
  Client h("h", "pw");
  make_holder(h, {"h", "friend"});
  h.exchange->handle_names_end();
  h.exchange->handle_message("friend", "PRIVMSG", "@AUTHENTICATED");
  for (int i = 0; i < 30000; ++i) {
    h.exchange->handle_message("bot" + std::to_string(i), "PRIVMSG", "@AUTHENTICATED");
  }
  EXPECT_LE(h.peers.size(), 10000u);
  EXPECT_EQ(h.peers.get("friend"), 1);
  EXPECT_EQ(h.peers.get("h"), 1);
  EXPECT_EQ(h.peers.get("bot29999"), 1);  // the newest strangers stay, the oldest go
  EXPECT_EQ(h.peers.get("bot0"), 0);
}

}  // namespace
}  // namespace velmora
