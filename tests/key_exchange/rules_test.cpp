// The key agreement one situation at a time: the wire of a complete exchange, what is
// hidden, peers on the older wire, and each way a channel was once split or a joiner
// locked out.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "secure/control_text.h"
#include "secure/dh_arith.h"
#include "secure/random_source.h"
#include "secure/seal.h"
#include "secure/token.h"
#include "secure/transport_key.h"
#include "tests/key_exchange/agreement_harness.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::deliver;
using test_support::kRoom;
using test_support::Peer;

// `h` makes the key alone, then sees `others` in the channel; returns the key.
std::string make_holder(Peer& h, std::vector<std::string> others = {}) {
  h.in_channel({});
  others.push_back(h.nick);
  h.machine.names(others, h.now);
  h.lines();
  h.machine.take_statuses();
  return h.machine.channel_key();
}

std::vector<std::string> targets(const std::vector<AgreementLine>& lines) {
  std::vector<std::string> out;
  for (const AgreementLine& line : lines) out.push_back(line.target);
  return out;
}

bool has_status(Peer& p, const std::string& text) {
  const std::vector<std::string> all = p.machine.take_statuses();
  return std::find(all.begin(), all.end(), text) != all.end();
}

TEST(Agreement, AloneInTheChannelMakesTheKeyAndSaysNothing) {
  Peer a("alice");
  a.in_channel({});
  EXPECT_TRUE(a.machine.holds_key());
  EXPECT_EQ(a.machine.channel_key().size(), 56u);
  EXPECT_TRUE(a.lines().empty());
}

TEST(Agreement, ACompleteExchangeOnTheWire) {
  Peer h("h"), j("joe");
  const std::string key = make_holder(h);
  h.machine.joined("joe", h.now);
  const std::vector<AgreementLine> welcome = h.lines();
  ASSERT_EQ(welcome.size(), 1u);
  EXPECT_EQ(welcome[0].target, "joe");
  EXPECT_EQ(welcome[0].text, "@AUTHENTICATED " + key_check(key));

  j.in_channel({"h"});
  EXPECT_TRUE(j.hear("h", welcome[0].text));
  j.wait(KeyAgreement::kGather);
  const std::vector<AgreementLine> request = j.lines();
  ASSERT_EQ(targets(request), std::vector<std::string>{"h"});
  const std::string_view value = public_request_value(request[0].text);
  EXPECT_TRUE(is_valid_public_value(value));
  EXPECT_EQ(request[0].text, "@PUBLIC " + std::string(value) + " " +
                                 std::string(public_request_token(request[0].text)));
  EXPECT_TRUE(has_status(j, "Initiating key exchange with h..."));

  EXPECT_TRUE(h.hear("joe", request[0].text));
  const std::vector<AgreementLine> answer = h.lines();
  ASSERT_EQ(answer.size(), 2u);
  EXPECT_TRUE(answer[0].text.starts_with("@XPUBLIC "));
  EXPECT_EQ(answer[1].text.size(), 6 + 144u);  // "@XKEY " and a 56-character key, sealed
  EXPECT_EQ(h.machine.take_statuses(),
            (std::vector<std::string>{"Exchanging key with joe...", "Key exchange complete with joe."}));

  for (const AgreementLine& line : answer) EXPECT_TRUE(j.hear("h", line.text));
  EXPECT_EQ(j.machine.channel_key(), key);
  EXPECT_TRUE(has_status(j, "Key exchange complete!"));
  const std::vector<AgreementLine> done = j.lines();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].target, kRoom);
  EXPECT_EQ(done[0].text, "@AUTHENTICATED " + key_check(key));
}

TEST(Agreement, ControlTextsAreHiddenWhateverTheirCommandAndTarget) {
  struct Case {
    const char* text;
    bool hidden;
  };
  const Case cases[] = {
      {"@PUBLIC 123 456", true}, {"@XPUBLIC 5", true}, {"@XKEY AB", true},
      {"@AUTHENTICATED", true}, {"@AUTHENTICATED 0123456789abcdef", true},
      {"@BADAUTH 00", true}, {"hello", false}, {"@CRYPTO 00", false}, {"@AUTH", false},
  };
  for (const Case& c : cases) {
    for (const char* command : {"PRIVMSG", "NOTICE"}) {
      for (const bool to_channel : {false, true}) {
        Peer p("me");
        p.in_channel({"x"});
        EXPECT_EQ(p.machine.text_received("x", command, to_channel, c.text, p.now), c.hidden)
            << c.text << " " << command;
      }
    }
  }
}

// A peer that sends the bare "@AUTHENTICATED" and reads only what it knows: it gets
// our key from us, and gives us its key.
TEST(Agreement, PeersOnTheOlderWireExchangeBothWays) {
  const BlowfishCipher passphrase_key = passphrase_cipher("pw");
  {
    Peer h("h");
    const std::string key = make_holder(h, {"old"});
    const std::string exponent = random_integer(160);
    h.hear("old", "@PUBLIC " + mod_pow_decimal(dh_generator, exponent, dh_prime) + " " +
                      make_random_token(passphrase_key));
    const std::vector<AgreementLine> answer = h.lines();
    ASSERT_EQ(answer.size(), 2u);
    BlowfishCipher transport;
    derive_transport_key(mod_pow_decimal(text_after(answer[0].text, 9), exponent, dh_prime),
                         passphrase_key, transport);
    EXPECT_EQ(open_cbc(transport, text_after(answer[1].text, 6)), key);
  }
  {
    Peer j("joe");
    j.in_channel({"old"});
    j.hear("old", "@AUTHENTICATED");
    j.wait(KeyAgreement::kGather);
    const std::vector<AgreementLine> request = j.lines();
    ASSERT_EQ(targets(request), std::vector<std::string>{"old"});
    EXPECT_TRUE(token_accepted(passphrase_key, public_request_token(request[0].text)));
    const std::string key(56, 'K'), exponent = random_integer(160);
    BlowfishCipher transport;
    derive_transport_key(
        mod_pow_decimal(public_request_value(request[0].text), exponent, dh_prime),
        passphrase_key, transport);
    j.hear("old", "@XPUBLIC " + mod_pow_decimal(dh_generator, exponent, dh_prime));
    j.hear("old", "@XKEY " + seal_cbc(transport, key));
    EXPECT_EQ(j.machine.channel_key(), key);
  }
}

// The holder renames between its two answer lines; a holder we asked leaves and the
// next one is asked at once; we ourselves come back as nick_ after a reconnect and
// still hold the key, show it and welcome joiners.
TEST(Agreement, NickChangesAndDepartures) {
  Peer h("h"), j("joe");
  const std::string key = make_holder(h, {"joe"});
  j.in_channel({"h", "h2"});
  j.hear("h", announcement(key));
  j.wait(KeyAgreement::kGather);
  h.hear("joe", j.lines().at(0).text);
  const std::vector<AgreementLine> answer = h.lines();
  j.hear("h", answer[0].text);
  j.machine.renamed("h", "hh", j.now);
  j.hear("hh", answer[1].text);
  EXPECT_EQ(j.machine.channel_key(), key);

  Peer k("kim");
  k.in_channel({"h1", "h2"});
  k.hear("h1", announcement(key));
  k.hear("h2", announcement(key));
  k.wait(KeyAgreement::kGather);
  const std::string first = k.lines().at(0).target;
  k.machine.left(first, k.now);
  EXPECT_EQ(targets(k.lines()), std::vector<std::string>{first == "h1" ? "h2" : "h1"});

  h.machine.connection_started("pw", 0, "h_", kRoom, h.now);
  h.machine.names({"h_", "other"}, h.now);
  EXPECT_EQ(h.lines().at(0).text, announcement(key)) << "back with a key: said at once";
  EXPECT_TRUE(h.machine.holds_key());
  EXPECT_EQ(h.machine.snapshot().members.at(0).key, MemberKey::Ours);
  h.machine.joined("new", h.now);
  EXPECT_EQ(targets(h.lines()), std::vector<std::string>{"new"});
}

// What the window shows of each member. A member whose sealed line does not open under
// our key shows as holding another key until one of its lines opens or it announces.
TEST(Agreement, SnapshotMarksEachMemberByWhatItHolds) {
  Peer h("h");
  const std::string key = make_holder(h, {"ann", "bob", "cy", "dee"});
  h.hear("ann", announcement(key), true);
  h.hear("bob", "@AUTHENTICATED 0123456789abcdef", true);
  h.hear("cy", "@AUTHENTICATED", true);
  const auto marks = [&h] {
    std::map<std::string, MemberKey> out;
    for (const MemberView& m : h.machine.snapshot().members) out[m.nick] = m.key;
    return out;
  };
  EXPECT_EQ(marks(), (std::map<std::string, MemberKey>{{"h", MemberKey::Ours},
                                                       {"ann", MemberKey::Ours},
                                                       {"bob", MemberKey::Other},
                                                       {"cy", MemberKey::Unchecked},
                                                       {"dee", MemberKey::Ordinary}}));
  for (const auto& [opened, shown] : {std::pair{false, MemberKey::Other}, std::pair{true, MemberKey::Ours}}) {
    h.machine.sealed_line_from("ann", opened);
    EXPECT_EQ(marks()["ann"], shown) << opened;
  }
  h.machine.sealed_line_from("ann", false);
  h.hear("ann", announcement(key), true);
  EXPECT_EQ(marks()["ann"], MemberKey::Ours);
  EXPECT_TRUE(h.lines().empty()) << "a line that does not open changes only the view";
}

// Someone without the passphrase welcomes the joiner first and refuses its request
// with its own token: only that holder's part ends, and the real holder's welcome,
// even after a squatter used the joiner's nick, brings the key.
TEST(Agreement, ARefusalEndsOnlyThatHoldersPart) {
  Peer h("h"), j("joe");
  const std::string key = make_holder(h, {"mallory"});
  h.machine.joined("joe", h.now);  // the squatter under joe's nick
  h.lines();
  h.machine.left("joe", h.now);
  h.wait(1s);
  h.machine.joined("joe", h.now);  // the real joe
  const std::vector<AgreementLine> welcome = h.lines();
  ASSERT_EQ(targets(welcome), std::vector<std::string>{"joe"});

  j.in_channel({"h", "mallory"});
  j.hear("mallory", announcement(key));  // a copied check
  j.wait(KeyAgreement::kGather);
  const std::string request = j.lines().at(0).text;
  j.hear("mallory", "@BADAUTH " + std::string(last_characters(request, kTokenDigits)));
  EXPECT_TRUE(has_status(j, "mallory has cancelled the key exchange as your authentication keys do not match!"));
  j.hear("h", welcome[0].text);
  h.hear("joe", j.lines().at(0).text);
  deliver(h, j);
  EXPECT_EQ(j.machine.channel_key(), key);
}

// Both sides of a difference act: a holder hearing a larger check says its own (once
// in kAnnounceInterval), one hearing a smaller check asks for it, and a key made
// beside others is announced.
TEST(Agreement, DifferencesAreActedOnFromBothSides) {
  Peer low("low"), high("high");
  make_holder(low, {"x"});
  low.hear("x", "@AUTHENTICATED ffffffffffffffff", true);
  EXPECT_TRUE(low.lines().empty()) << "a moment for others to say it first";
  low.wait(KeyAgreement::kAnnounceJitter);
  EXPECT_EQ(low.texts_to(kRoom), std::vector<std::string>{announcement(low.machine.channel_key())});
  low.hear("x", "@AUTHENTICATED fffffffffffffffe", true);
  low.wait(KeyAgreement::kAnnounceJitter);
  EXPECT_TRUE(low.lines().empty());

  make_holder(high, {"x"});
  high.hear("x", "@AUTHENTICATED 0000000000000000", true);
  high.wait(KeyAgreement::kStagger);
  const std::vector<AgreementLine> asked = high.lines();
  ASSERT_EQ(targets(asked), std::vector<std::string>{"x"});
  EXPECT_TRUE(asked[0].text.starts_with("@PUBLIC "));

  Peer maker("maker");
  maker.in_channel({"plain"});
  maker.wait(KeyAgreement::kMakerWait + KeyAgreement::kMakerStep);
  ASSERT_TRUE(maker.machine.holds_key());
  EXPECT_EQ(maker.texts_to(kRoom), std::vector<std::string>{announcement(maker.machine.channel_key())});
}

// Bogus requests cost one refusal per member at most, after everything else, and
// nothing at all from outside the channel; a genuine request still goes first.
TEST(Agreement, BogusRequestsAreBoundedAndComeLast) {
  Peer h("h"), j("joe");
  make_holder(h, {"mallory", "joe"});
  const std::string bogus = "@PUBLIC 5 " + std::string(64, 'A');
  for (int i = 0; i < 100000; ++i) {
    h.hear("mallory", bogus);
    h.hear("out" + std::to_string(i % 1000), bogus);
  }
  j.in_channel({"h"});
  j.hear("h", announcement(h.machine.channel_key()));
  j.wait(KeyAgreement::kGather);
  h.hear("joe", j.lines().at(0).text);
  const std::vector<AgreementLine> sent = h.lines();
  EXPECT_EQ(targets(sent), (std::vector<std::string>{"joe", "joe", "mallory"}));
  EXPECT_TRUE(sent[2].text.starts_with("@BADAUTH "));
  EXPECT_EQ(h.machine.snapshot().members.size(), 3u);
  h.hear("mallory", bogus);
  EXPECT_TRUE(h.lines().empty()) << "one refusal per member in kRefusalInterval";
}

// A holder moving to a smaller key sends its own request before the answers it owes.
TEST(Agreement, OwnRequestGoesBeforeAnswers) {
  Peer h("h");
  make_holder(h, {"a", "b", "small"});
  const BlowfishCipher passphrase_key = passphrase_cipher("pw");
  for (const char* joiner : {"a", "b"}) {
    h.hear(joiner, "@PUBLIC " + mod_pow_decimal(dh_generator, "12345", dh_prime) + " " +
                       make_random_token(passphrase_key));
  }
  h.hear("small", "@AUTHENTICATED 0000000000000000", true);
  h.wait(KeyAgreement::kStagger);
  EXPECT_EQ(targets(h.lines()), (std::vector<std::string>{"small", "a", "a", "b", "b"}));
}

// Many keyless clients beside an ordinary user: the one ranked first makes the key,
// the others hear it before their turn, and all end on that one key.
TEST(Agreement, AHerdBesideAnOrdinaryUserMakesOneKey) {
  std::vector<std::unique_ptr<Peer>> herd;
  std::vector<std::string> nicks{"plain"};
  for (int i = 0; i < 12; ++i) nicks.push_back("c" + std::to_string(i));
  for (int i = 0; i < 12; ++i) herd.push_back(std::make_unique<Peer>("c" + std::to_string(i)));
  for (auto& p : herd) p->machine.names(nicks, p->now);
  std::set<std::string> made;
  for (int step = 0; step < 600; ++step) {
    for (auto& from : herd) {
      for (const AgreementLine& line : from->lines()) {
        for (auto& to : herd) {
          if (to != from && (line.target == kRoom || line.target == to->nick)) {
            to->hear(from->nick, line.text, line.target == kRoom);
          }
        }
      }
    }
    for (auto& p : herd) {
      p->wait(100ms);
      if (p->machine.holds_key()) made.insert(p->machine.channel_key());
    }
  }
  EXPECT_EQ(made.size(), 1u);
  for (auto& p : herd) EXPECT_TRUE(p->machine.holds_key()) << p->nick;
}

// MAXUSERS counts the members known to hold our key because they proved the
// passphrase; members that merely announce it do not count.
TEST(Agreement, HolderLimitCountsOnlyProvenHolders) {
  Peer h("h");
  h.machine.connection_started("pw", 2, "h", kRoom, h.now);
  const std::string key = make_holder(h, {"fake1", "fake2", "joe", "kim"});
  h.hear("fake1", announcement(key), true);
  h.hear("fake2", announcement(key), true);
  const BlowfishCipher passphrase_key = passphrase_cipher("pw");
  const auto request = [&] {
    return "@PUBLIC " + mod_pow_decimal(dh_generator, "777", dh_prime) + " " +
           make_random_token(passphrase_key);
  };
  h.hear("joe", request());
  EXPECT_EQ(targets(h.lines()), (std::vector<std::string>{"joe", "joe"}));
  h.hear("joe", announcement(key), true);
  h.hear("kim", request());
  EXPECT_TRUE(h.lines().empty()) << "h and joe hold it: the limit of 2 is reached";
}

// With 200 holders in the channel a join costs five welcome lines, not 200: the three
// ranked first for the joiner's nick at once, two more only if it stays silent.
TEST(Agreement, AJoinCostsAFewWelcomesWhateverTheNumberOfHolders) {
  std::vector<std::unique_ptr<Peer>> holders;
  std::vector<std::string> nicks;
  for (int i = 0; i < 200; ++i) nicks.push_back("h" + std::to_string(i));
  for (const std::string& nick : nicks) {
    holders.push_back(std::make_unique<Peer>(nick, "pw", 7));  // all make the same key
    Peer& h = *holders.back();
    h.in_channel({});
    h.machine.connection_started("pw", 0, nick, kRoom, h.now);
    h.machine.names(nicks, h.now);
    for (const std::string& other : nicks) {
      if (other != nick) h.hear(other, announcement(h.machine.channel_key()), true);
    }
    h.lines();
  }
  for (const char* joiner : {"joe", "kim", "zed"}) {
    int at_once = 0, later = 0;
    for (auto& h : holders) {
      h->machine.joined(joiner, h->now);
      at_once += static_cast<int>(h->texts_to(joiner).size());
      h->wait(KeyAgreement::kLateWelcome);
      later += static_cast<int>(h->texts_to(joiner).size());
    }
    EXPECT_EQ(at_once, 3) << joiner;
    EXPECT_EQ(later, 2) << joiner;
  }
}

TEST(Agreement, PlainModeReconnectionAndANewPassphrase) {
  Peer plain("p", "");
  plain.in_channel({"x"});
  EXPECT_EQ(plain.machine.channel_key(), " ");
  EXPECT_TRUE(plain.hear("x", "@AUTHENTICATED"));
  plain.machine.joined("y", plain.now);
  EXPECT_TRUE(plain.lines().empty());

  Peer h("h");
  const std::string key = make_holder(h);
  h.machine.connection_ended();
  h.machine.connection_started("pw", 0, "h", kRoom, h.now);
  EXPECT_EQ(h.machine.channel_key(), key) << "a reconnection keeps the key";
  h.machine.connection_started("other", 0, "h", kRoom, h.now);
  EXPECT_FALSE(h.machine.holds_key()) << "a key of another passphrase is not ours";
}

// Answers that cannot be right are not taken: a bad public value gets no answer, an
// "@XPUBLIC" from someone not asked changes nothing, and an "@XKEY" that does not open
// to a key ends that holder's part.
TEST(Agreement, AnswersThatCannotBeRight) {
  Peer h("h");
  make_holder(h, {"joe"});
  h.hear("joe", "@PUBLIC 1 " + make_random_token(passphrase_cipher("pw")));
  EXPECT_TRUE(h.lines().empty());

  Peer j("joe");
  j.in_channel({"h", "h2", "mallory"});
  j.hear("h", "@AUTHENTICATED");
  j.wait(KeyAgreement::kGather);
  ASSERT_EQ(targets(j.lines()), std::vector<std::string>{"h"});
  j.hear("mallory", "@XPUBLIC 5");
  j.hear("mallory", "@XKEY " + std::string(144, 'A'));
  j.hear("h", "@XPUBLIC 5");
  j.hear("h", "@XKEY " + std::string(144, 'A'));
  EXPECT_FALSE(j.machine.holds_key());
  EXPECT_TRUE(has_status(j, "Key exchange with h failed!"));
  j.hear("h2", "@AUTHENTICATED");
  EXPECT_EQ(targets(j.lines()), std::vector<std::string>{"h2"});
}

}  // namespace
}  // namespace velmora
