// Whole exchanges between clients through an in-memory server.

#include <gtest/gtest.h>

#include "tests/key_exchange/exchange_harness.h"

namespace velmora {
namespace {

using test_support::Client;
using test_support::Relay;

// Every client's line opens to the same words at every other client.
void expect_chat_works(Client& from, const std::vector<Client*>& to) {
  auto texts = from.security.seal_chat_line("hello from " + from.env.nick, "#velmora");
  ASSERT_EQ(texts.size(), 1u);
  for (Client* c : to) {
    EXPECT_EQ(c->security.open_chat_text(texts[0]), "hello from " + from.env.nick);
  }
}

TEST(Relay, TwoClientsShareTheKey) {
  Relay relay;
  Client a("alice", "pw"), b("bob", "pw");
  relay.join(a);
  relay.join(b);
  EXPECT_TRUE(b.holds_key());
  EXPECT_EQ(b.security.channel_key(), a.security.channel_key());
  EXPECT_EQ(a.peers.get("bob"), 1);
  EXPECT_EQ(b.peers.get("alice"), 1);
  EXPECT_TRUE(relay.shown.empty());  // no control line reached a window
  expect_chat_works(a, {&b});
  expect_chat_works(b, {&a});
}

TEST(Relay, ThreeClientsShareTheKey) {
  Relay relay;
  Client a("alice", "pw"), b("bob", "pw"), c("carol", "pw");
  relay.join(a);
  relay.join(b);
  relay.join(c);
  for (Client* x : {&a, &b, &c}) {
    EXPECT_TRUE(x->holds_key()) << x->env.nick;
    EXPECT_EQ(x->security.channel_key(), a.security.channel_key());
    for (Client* y : {&a, &b, &c}) EXPECT_EQ(x->peers.get(y->env.nick), 1);
  }
  EXPECT_TRUE(relay.shown.empty());
  expect_chat_works(c, {&a, &b});
}

TEST(Relay, WrongPassphraseNeverGetsTheKey) {
  Relay relay;
  Client a("alice", "pw"), m("mallory", "guess");
  relay.join(a);
  relay.join(m);
  EXPECT_FALSE(m.holds_key());
  EXPECT_TRUE(m.security.channel_key().empty());
  EXPECT_EQ(a.peers.get("mallory"), 0);
  EXPECT_EQ(m.env.last_status(),
            "alice has cancelled the key exchange as your authentication keys do not match!");
}

TEST(Relay, FirstHolderQuitsInTheMiddleOfAnExchange) {
  Relay relay;
  Client a("alice", "pw"), b("bob", "pw"), c("carol", "pw");
  relay.join(a);
  relay.join(b);
  // Carol joins; alice's welcome arrives first, so carol asks alice. Alice answers
  // only with her public value, then quits before her sealed key goes out.
  c.env.channel = "#velmora";
  c.env.users = {"alice", "bob", "carol"};
  a.env.users = b.env.users = c.env.users;
  c.exchange->handle_names_end();
  c.exchange->handle_message("alice", "PRIVMSG", "@AUTHENTICATED");
  c.exchange->handle_message("bob", "PRIVMSG", "@AUTHENTICATED");
  auto request = c.env.take_sent();
  ASSERT_EQ(request.size(), 1u);
  ASSERT_EQ(request[0].target, "alice");
  a.exchange->handle_message("carol", "PRIVMSG", request[0].text);
  auto answers = a.env.take_sent();
  ASSERT_EQ(answers.size(), 2u);
  c.exchange->handle_message("alice", "PRIVMSG", answers[0].text);
  c.env.users = {"bob", "carol"};
  c.exchange->handle_message("alice", "QUIT", "gone");
  // Carol now asks bob, and bob completes the exchange.
  auto second = c.env.take_sent();
  ASSERT_EQ(second.size(), 1u);
  ASSERT_EQ(second[0].target, "bob");
  b.exchange->handle_message("carol", "PRIVMSG", second[0].text);
  for (const auto& m : b.env.take_sent()) c.exchange->handle_message("bob", m.command, m.text);
  EXPECT_TRUE(c.holds_key());
  EXPECT_EQ(c.security.channel_key(), b.security.channel_key());
  expect_chat_works(b, {&c});
}

TEST(Relay, RenamedHolderStillAnswersAndChatContinues) {
  Relay relay;
  Client a("alice", "pw"), b("bob", "pw");
  relay.join(a);
  relay.rename(a, "alice_");
  Client c("carol", "pw");
  relay.join(c);
  EXPECT_TRUE(c.holds_key());
  EXPECT_EQ(b.peers.get("alice_"), 0);  // bob was never in the channel
  relay.join(b);
  EXPECT_TRUE(b.holds_key());
  EXPECT_EQ(b.peers.get("alice_"), 1);
}

TEST(Relay, LastOneLeftAfterEveryoneQuitsKeepsTalking) {
  Relay relay;
  Client a("alice", "pw"), b("bob", "pw");
  relay.join(a);
  relay.join(b);
  const std::string key = a.security.channel_key();
  relay.quit(a);
  EXPECT_EQ(b.security.channel_key(), key);
  Client c("carol", "pw");
  relay.join(c);
  EXPECT_EQ(c.security.channel_key(), key);
}

// An ordinary IRC user in the channel: nobody is alone, so nobody makes the key at
// once. A joiner that hears no welcome makes it after a few seconds and announces it;
// clients that did so at the same moment converge on one key.
TEST(Relay, WithAnOrdinaryUserPresentEveryoneStillGetsOneKey) {
  for (const int together : {1, 2, 10}) {
    Relay relay;
    relay.add_plain_user("lurker");
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < together; ++i) {
      clients.push_back(std::make_unique<Client>("v" + std::to_string(i), "pw"));
      relay.join(*clients.back());
    }
    relay.wait_all(std::chrono::seconds(4));
    EXPECT_TRUE(clients[0]->security.channel_key().empty());
    relay.wait_all(std::chrono::seconds(1));
    Client late("late", "pw");
    relay.join(late);
    for (const auto& c : clients) {
      EXPECT_TRUE(c->holds_key()) << together;
      EXPECT_EQ(c->security.channel_key(), late.security.channel_key()) << together;
    }
    std::vector<Client*> others;
    for (const auto& c : clients) others.push_back(c.get());
    expect_chat_works(late, others);
  }
}

// Someone without the passphrase announces a key check smaller than anyone's: the
// holders ask, get nothing that opens, and keep the key they have.
TEST(Relay, AForgedKeyCheckNeverCostsTheChannelItsKey) {
  Relay relay;
  relay.add_plain_user("mallory");
  Client a("alice", "pw");
  relay.join(a);
  relay.wait_all(std::chrono::seconds(5));
  const std::string key = a.security.channel_key();
  ASSERT_EQ(key.size(), 56u);
  a.exchange->handle_message("mallory", "PRIVMSG", "@AUTHENTICATED 0000000000000000");
  ASSERT_EQ(a.env.sent.size(), 1u);
  EXPECT_EQ(a.env.sent[0].target, "mallory");
  a.env.take_sent();
  a.exchange->handle_message("mallory", "PRIVMSG", "@XPUBLIC 2");
  a.exchange->handle_message("mallory", "PRIVMSG", "@XKEY " + std::string(144, 'A'));
  a.wait(std::chrono::seconds(60));
  EXPECT_EQ(a.security.channel_key(), key);
  EXPECT_TRUE(a.holds_key());
  EXPECT_TRUE(a.env.take_sent().empty());  // and she is not asked again
}

}  // namespace
}  // namespace velmora
