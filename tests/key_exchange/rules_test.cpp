// The receive-thread rules, one situation at a time, with recorded effects.

#include <gtest/gtest.h>

#include "secure/control_text.h"
#include "secure/dh_arith.h"
#include "secure/token.h"
#include "tests/key_exchange/exchange_harness.h"

namespace velmora {
namespace {

using test_support::Client;
using test_support::SentMessage;

const std::string channel_key(56, 'K');

void make_holder(Client& c, const std::vector<std::string>& users) {
  c.env.users = users;
  c.security.set_channel_key(channel_key);
  c.peers.set(c.env.nick, 1);
}

void make_joiner(Client& c, const std::vector<std::string>& users) {
  c.env.users = users;
  c.exchange->handle_names_end();
}

// Delivers everything `from` sent privately to `to` and returns what was not consumed.
std::vector<std::string> deliver(Client& from, Client& to) {
  std::vector<std::string> shown;
  for (const SentMessage& m : from.env.take_sent()) {
    if (m.target != to.env.nick) continue;
    if (!to.exchange->handle_message(from.env.nick, m.command, m.text)) shown.push_back(m.text);
  }
  return shown;
}

// J asks H; returns H's answers (XPUBLIC, XKEY) without delivering them.
std::vector<SentMessage> request_and_answer(Client& j, Client& h) {
  EXPECT_TRUE(j.exchange->handle_message(h.env.nick, "PRIVMSG", "@AUTHENTICATED"));
  deliver(j, h);
  return h.env.take_sent();
}

TEST(Rules, AloneInTheChannelMakesItsOwnKey) {
  Client a("alice", "pw");
  make_joiner(a, {"alice"});
  EXPECT_EQ(a.security.channel_key().size(), 56u);
  EXPECT_TRUE(a.holds_key());
  EXPECT_TRUE(a.env.sent.empty());
  EXPECT_GE(a.env.dirty_marks, 1);
  EXPECT_FALSE(a.exchange->exchange_pending());
}

TEST(Rules, NotAloneWithoutKeyMarksItselfAndWaits) {
  Client j("joe", "pw");
  j.peers.set("joe", 1);
  make_joiner(j, {"h", "joe"});
  EXPECT_FALSE(j.holds_key());
  EXPECT_TRUE(j.security.channel_key().empty());
  EXPECT_TRUE(j.env.sent.empty());
}

TEST(Rules, HolderWelcomesAJoinerPrivately) {
  Client h("h", "pw");
  make_holder(h, {"h"});
  h.peers.set("joe", 1);
  EXPECT_FALSE(h.exchange->handle_message("joe", "JOIN", "#velmora"));
  ASSERT_EQ(h.env.sent.size(), 1u);
  EXPECT_EQ(h.env.sent[0].target, "joe");
  EXPECT_EQ(h.env.sent[0].text, "@AUTHENTICATED " + key_check(channel_key));
  EXPECT_EQ(h.peers.get("joe"), 0);
  h.env.take_sent();
  h.exchange->handle_message("h", "JOIN", "#velmora");  // its own join
  EXPECT_TRUE(h.env.sent.empty());
}

TEST(Rules, TwoHoldersWelcomeOneJoinerWhoAsksTheFirst) {
  Client j("joe", "pw");
  make_joiner(j, {"h1", "h2", "joe"});
  EXPECT_TRUE(j.exchange->handle_message("h1", "PRIVMSG", "@AUTHENTICATED"));
  EXPECT_TRUE(j.exchange->handle_message("h2", "PRIVMSG", "@AUTHENTICATED"));
  ASSERT_EQ(j.env.sent.size(), 1u);
  EXPECT_EQ(j.env.sent[0].target, "h1");
  EXPECT_TRUE(j.env.sent[0].text.starts_with("@PUBLIC "));
  EXPECT_TRUE(is_valid_public_value(public_request_value(j.env.sent[0].text)));
  EXPECT_EQ(public_request_token(j.env.sent[0].text).size(), 64u);
  EXPECT_EQ(j.peers.get("h1"), 1);
  EXPECT_EQ(j.peers.get("h2"), 1);
  EXPECT_TRUE(j.exchange->exchange_pending());
  EXPECT_EQ(j.env.statuses.front(), "Initiating key exchange with h1...");
}

TEST(Rules, CompleteExchangeAnnouncedToTheChannel) {
  Client h("h", "pw"), j("joe", "pw"), other("o", "pw");
  make_holder(h, {"h", "joe", "o"});
  make_joiner(j, {"h", "joe", "o"});
  make_joiner(other, {"h", "joe", "o"});
  auto answers = request_and_answer(j, h);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_TRUE(answers[0].text.starts_with("@XPUBLIC "));
  EXPECT_TRUE(answers[1].text.starts_with("@XKEY "));
  EXPECT_EQ(answers[1].text.size(), 150u);
  EXPECT_EQ(h.env.statuses.front(), "Exchanging key with joe...");
  EXPECT_EQ(h.env.last_status(), "Key exchange complete with joe.");
  for (const SentMessage& m : answers) {
    EXPECT_TRUE(j.exchange->handle_message("h", m.command, m.text));
  }
  EXPECT_EQ(j.security.channel_key(), channel_key);
  EXPECT_TRUE(j.holds_key());
  EXPECT_FALSE(j.exchange->exchange_pending());
  EXPECT_TRUE(j.security.private_exponent().empty());
  EXPECT_EQ(j.env.last_status(), "Key exchange complete!");
  ASSERT_EQ(j.env.sent.size(), 1u);
  EXPECT_EQ(j.env.sent[0].target, "#velmora");
  EXPECT_EQ(j.env.sent[0].text, "@AUTHENTICATED " + key_check(channel_key));
  for (Client* c : {&h, &other}) {
    int dirty = c->env.dirty_marks;
    EXPECT_TRUE(c->exchange->handle_message("joe", "PRIVMSG", "@AUTHENTICATED"));
    EXPECT_EQ(c->peers.get("joe"), 1);
    EXPECT_GT(c->env.dirty_marks, dirty);
  }
  EXPECT_TRUE(h.env.sent.empty());  // a holder makes no request
  EXPECT_EQ(other.env.sent.size(), 1u);  // a keyless client asks the newcomer
}

TEST(Rules, AuthenticatedFromAnOrdinaryUserIsHiddenAndMarks) {
  Client h("h", "pw");
  make_holder(h, {"h", "troll"});
  EXPECT_TRUE(h.exchange->handle_message("troll", "PRIVMSG", "@AUTHENTICATED"));
  EXPECT_TRUE(h.exchange->handle_message("troll", "NOTICE", "@AUTHENTICATED lol"));
  EXPECT_EQ(h.peers.get("troll"), 1);
  EXPECT_TRUE(h.env.sent.empty());
}

TEST(Rules, ControlTextsAreHiddenWhateverTheirCommand) {
  Client h("h", "pw");
  make_holder(h, {"h", "x"});
  const std::string texts[] = {"@PUBLIC 5 " + std::string(64, 'A'), "@XPUBLIC 5", "@XKEY AB",
                               "@PUBLICITY", "@XKEYS"};
  for (const std::string command : {"NOTICE", "PRIVMSG", "TOPIC", "PART"}) {
    for (const std::string& text : texts) {
      EXPECT_TRUE(h.exchange->handle_message("x", command, text)) << command << " " << text;
    }
  }
  EXPECT_FALSE(h.exchange->handle_message("x", "PRIVMSG", "@crypto lower case is chat"));
  EXPECT_FALSE(h.exchange->handle_message("x", "PRIVMSG", "hello"));
}

TEST(Rules, PartnerRenamingBetweenXpublicAndXkey) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe"});
  make_joiner(j, {"h", "joe"});
  auto answers = request_and_answer(j, h);
  j.exchange->handle_message("h", "PRIVMSG", answers[0].text);
  EXPECT_EQ(j.exchange->exchange_partner(), "h");
  j.exchange->handle_message("h", "NICK", "h_away");
  EXPECT_EQ(j.exchange->exchange_partner(), "h_away");
  j.exchange->handle_message("h_away", "PRIVMSG", answers[1].text);
  EXPECT_EQ(j.security.channel_key(), channel_key);
}

TEST(Rules, TargetRenamingBeforeXpublicIsFollowed) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe"});
  make_joiner(j, {"h", "joe"});
  auto answers = request_and_answer(j, h);
  j.exchange->handle_message("h", "NICK", "h2");
  for (const SentMessage& m : answers) j.exchange->handle_message("h2", m.command, m.text);
  EXPECT_EQ(j.security.channel_key(), channel_key);
}

TEST(Rules, PartnerLeavingWithAnotherHolderListedGetsANewRequest) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe", "h2"});
  make_joiner(j, {"h", "joe", "h2"});
  j.peers.set("h2", 1);
  auto answers = request_and_answer(j, h);
  const std::string first_exponent = j.security.private_exponent();
  j.exchange->handle_message("h", "PRIVMSG", answers[0].text);
  j.exchange->handle_message("h", "QUIT", "bye");
  ASSERT_EQ(j.env.sent.size(), 1u);
  EXPECT_EQ(j.env.sent[0].target, "h2");
  EXPECT_TRUE(j.env.sent[0].text.starts_with("@PUBLIC "));
  EXPECT_NE(j.security.private_exponent(), first_exponent);
  EXPECT_TRUE(j.exchange->exchange_pending());
  EXPECT_EQ(j.exchange->exchange_partner(), "");
  // The old holder's late key is no longer accepted.
  j.exchange->handle_message("h", "PRIVMSG", answers[1].text);
  EXPECT_TRUE(j.security.channel_key().empty());
}

TEST(Rules, PartnerLeavingAloneMakesANewKey) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe"});
  make_joiner(j, {"h", "joe"});
  auto answers = request_and_answer(j, h);
  j.exchange->handle_message("h", "PRIVMSG", answers[0].text);
  j.exchange->handle_message("h", "PART", "#velmora");
  EXPECT_EQ(j.security.channel_key().size(), 56u);
  EXPECT_NE(j.security.channel_key(), channel_key);
  EXPECT_TRUE(j.holds_key());
  EXPECT_EQ(j.env.last_status(), "");
  EXPECT_FALSE(j.exchange->exchange_pending());
  EXPECT_TRUE(j.env.sent.empty());
}

// The holder asked leaves before answering: only it could answer, so the joiner asks
// another holder, or keeps a key of its own when none is listed, instead of waiting
// for ever.
TEST(MendedRules, HolderLeavingBeforeItsXpublicIsAskedAgainElsewhere) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe", "h2"});
  make_joiner(j, {"h", "joe", "h2"});
  j.peers.set("h2", 1);
  request_and_answer(j, h);
  j.exchange->handle_message("someone", "QUIT", "bye");  // not the holder asked
  EXPECT_TRUE(j.env.sent.empty());
  j.exchange->handle_message("h", "QUIT", "bye");
  ASSERT_EQ(j.env.sent.size(), 1u);
  EXPECT_EQ(j.env.sent[0].target, "h2");
  EXPECT_TRUE(j.env.sent[0].text.starts_with("@PUBLIC "));
  EXPECT_TRUE(j.exchange->exchange_pending());
}

TEST(MendedRules, HolderLeavingBeforeItsXpublicWithNoOtherHolderMakesANewKey) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe"});
  make_joiner(j, {"h", "joe"});
  request_and_answer(j, h);
  j.exchange->handle_message("h", "PART", "#velmora");
  EXPECT_FALSE(j.exchange->exchange_pending());
  EXPECT_EQ(j.security.channel_key().size(), 56u);
  EXPECT_TRUE(j.holds_key());
  EXPECT_TRUE(j.env.sent.empty());
}

TEST(Rules, HolderLimitLeavesARequestUnanswered) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "h2", "joe"});
  h.peers.set("h2", 1);
  h.env.limit = 2;
  make_joiner(j, {"h", "h2", "joe"});
  EXPECT_TRUE(request_and_answer(j, h).empty());
  h.env.limit = 3;
  j.exchange->initiate_exchange("h");
  deliver(j, h);
  EXPECT_EQ(h.env.take_sent().size(), 2u);
}

TEST(Rules, WrongPassphraseOnBothSides) {
  Client h("h", "pw"), j("joe", "other");
  make_holder(h, {"h", "joe"});
  make_joiner(j, {"h", "joe"});
  j.exchange->handle_message("h", "PRIVMSG", "@AUTHENTICATED");
  const std::string request = j.env.sent.at(0).text;
  deliver(j, h);
  auto answers = h.env.take_sent();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].text, "@BADAUTH " + request.substr(request.size() - 64));
  EXPECT_TRUE(j.exchange->handle_message("h", "PRIVMSG", answers[0].text));
  EXPECT_EQ(j.env.last_status(),
            "h has cancelled the key exchange as your authentication keys do not match!");
  EXPECT_TRUE(j.exchange->exchange_pending());
  EXPECT_TRUE(j.env.take_sent().empty());  // no new request
  // A refusal carrying someone else's token is consumed without a word.
  const auto statuses = j.env.statuses.size();
  std::string foreign = make_random_token(passphrase_cipher("pw"));
  EXPECT_TRUE(j.exchange->handle_message("h", "PRIVMSG", "@BADAUTH " + foreign));
  EXPECT_EQ(j.env.statuses.size(), statuses);
}

TEST(Rules, PlainModeMarksEveryoneAndWelcomesNobody) {
  Client p("p", "");
  make_joiner(p, {"p", "a", "b"});
  EXPECT_EQ(p.peers.get("a"), 1);
  EXPECT_EQ(p.peers.get("p"), 1);
  EXPECT_EQ(p.security.channel_key(), " ");
  p.exchange->handle_message("c", "JOIN", "#velmora");
  p.exchange->handle_message("a", "PRIVMSG", "@AUTHENTICATED");
  EXPECT_TRUE(p.env.sent.empty());
  // A request still gets an answer under the empty passphrase, with the key " ".
  Client j("j", "");
  j.env.users = {"p", "j"};
  j.security.set_channel_key("");
  j.exchange->initiate_exchange("p");
  deliver(j, p);
  auto answers = p.env.take_sent();
  ASSERT_EQ(answers.size(), 2u);
}

TEST(Rules, ReconnectionKeepsTheKey) {
  Client h("h", "pw");
  make_holder(h, {"h"});
  h.reconnect("pw");
  h.exchange->handle_names_end();
  EXPECT_EQ(h.security.channel_key(), channel_key);
  EXPECT_TRUE(h.holds_key());
  h.reconnect("");
  EXPECT_EQ(h.security.channel_key(), " ");
}

// Peer values outside 2..p-2 would put the secret in a tiny subgroup.
const std::vector<std::string> kBadValues = {"0", "1", "", "abc", "-5", "2x",
                                             dh_prime, std::string(400, '9')};

std::string p_minus_one() {
  std::string value = dh_prime;
  value.back() -= 1;  // the prime ends in 7
  return value;
}

TEST(MendedRules, HolderSendsNothingForABadPublicValue) {
  Client h("h", "pw");
  make_holder(h, {"h", "j"});
  const std::string token = make_random_token(passphrase_cipher("pw"));
  auto values = kBadValues;
  values.push_back(p_minus_one());
  for (const std::string& value : values) {
    EXPECT_TRUE(h.exchange->handle_message("j", "PRIVMSG", "@PUBLIC " + value + " " + token));
    EXPECT_TRUE(h.env.take_sent().empty()) << value;
  }
  h.exchange->handle_message("j", "PRIVMSG", "@PUBLIC 2 " + token);
  EXPECT_EQ(h.env.take_sent().size(), 2u);
}

TEST(MendedRules, JoinerIgnoresABadXpublicAndStaysRequested) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe"});
  make_joiner(j, {"h", "joe"});
  auto answers = request_and_answer(j, h);
  auto values = kBadValues;
  values.push_back(p_minus_one());
  for (const std::string& value : values) {
    j.exchange->handle_message("h", "PRIVMSG", "@XPUBLIC " + value);
    EXPECT_EQ(j.exchange->exchange_partner(), "") << value;
  }
  for (const SentMessage& m : answers) j.exchange->handle_message("h", m.command, m.text);
  EXPECT_EQ(j.security.channel_key(), channel_key);
}

TEST(MendedRules, AnswersOnlyFromTheHolderAsked) {
  Client h("h", "pw"), j("joe", "pw"), mallory("m", "pw");
  make_holder(h, {"h", "joe", "m"});
  make_holder(mallory, {"h", "joe", "m"});
  mallory.security.set_channel_key(std::string(56, 'M'));
  make_joiner(j, {"h", "joe", "m"});
  j.exchange->handle_message("h", "PRIVMSG", "@AUTHENTICATED");
  const std::string request = j.env.take_sent().at(0).text;
  mallory.exchange->handle_message("joe", "PRIVMSG", request);
  for (const SentMessage& m : mallory.env.take_sent()) {
    EXPECT_TRUE(j.exchange->handle_message("m", m.command, m.text));
  }
  EXPECT_TRUE(j.security.channel_key().empty());
  EXPECT_EQ(j.exchange->exchange_partner(), "");
  h.exchange->handle_message("joe", "PRIVMSG", request);
  for (const SentMessage& m : h.env.take_sent()) j.exchange->handle_message("h", m.command, m.text);
  EXPECT_EQ(j.security.channel_key(), channel_key);
}

TEST(MendedRules, KeyOfTheWrongLengthFailsTheExchange) {
  Client h("h", "pw"), j("joe", "pw");
  make_holder(h, {"h", "joe"});
  h.security.set_channel_key("short");
  make_joiner(j, {"h", "joe"});
  auto answers = request_and_answer(j, h);
  for (const SentMessage& m : answers) j.exchange->handle_message("h", m.command, m.text);
  EXPECT_TRUE(j.security.channel_key().empty());
  EXPECT_FALSE(j.holds_key());
  EXPECT_EQ(j.env.last_status(), "Key exchange with h failed!");
  EXPECT_TRUE(j.env.take_sent().empty());  // no announcement, and h is not asked again
  j.exchange->handle_message("h", "PRIVMSG", "@AUTHENTICATED");
  EXPECT_TRUE(j.env.take_sent().empty());
  j.wait(std::chrono::seconds(31));  // the next round asks h once more
  ASSERT_EQ(j.env.sent.size(), 1u);
  EXPECT_EQ(j.env.sent[0].target, "h");
}

}  // namespace
}  // namespace velmora
