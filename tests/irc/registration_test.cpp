// Registration as a state machine: server lines in, our lines and status out.
#include <gtest/gtest.h>

#include <vector>

#include "irc/base64.h"
#include "irc/irc_message.h"
#include "irc/registration.h"
#include "irc/secret_mask.h"

namespace velmora {
namespace {

RegistrationPlan plain_plan(bool required = false) {
  RegistrationPlan plan;
  plan.channel = "#room";
  plan.mechanism = SaslMechanism::plain;
  plan.user = "alice";
  plan.password = "s3cret";
  plan.required = required;
  plan.encrypted = true;
  return plan;
}

struct Exchange {
  std::vector<std::string> sent;
  std::vector<std::string> statuses;
  std::vector<std::string> refusals;  // statuses that stay, shown in place of their line
  bool joined = false, welcomed = false, gave_up = false;
};

Exchange run(RegistrationPlan plan, const std::vector<std::string>& server_lines) {
  Registration registration(std::move(plan));
  Exchange out;
  for (const std::string& line : server_lines) {
    RegistrationStep step = registration.handle(parse_line(line));
    out.sent.insert(out.sent.end(), step.send.begin(), step.send.end());
    if (!step.status.empty()) out.statuses.push_back(step.status);
    if (step.refusal) out.refusals.push_back(step.status);
    out.joined |= step.join;
    out.welcomed |= step.welcomed;
    out.gave_up |= step.give_up;
  }
  return out;
}

using Lines = std::vector<std::string>;

TEST(Registration, Conversations) {
  const std::string plain_payload = "AUTHENTICATE " + base64_encode(std::string("alice\0alice\0s3cret", 18));
  RegistrationPlan none;
  none.channel = "#room";
  RegistrationPlan external = plain_plan();
  external.mechanism = SaslMechanism::external;
  RegistrationPlan unencrypted = plain_plan();
  unencrypted.encrypted = false;
  RegistrationPlan unencrypted_required = unencrypted;
  unencrypted_required.required = true;
  RegistrationPlan allowed = unencrypted;
  allowed.plaintext_allowed = true;
  const std::string refused_in_clear =
      "SASL PLAIN needs TLS; the password was not sent over a plain connection (TLS=1, or "
      "SASL_PLAINTEXT=1 to send it anyway); ";
  const std::string endless_caps = ":s CAP * LS * :" + std::string(400, 'c');
  const struct Case {
    const char* what;
    RegistrationPlan plan;
    Lines server;
    Lines sent;
    Lines statuses;
    bool joined, gave_up;
  } cases[] = {
      {"no credentials: CAP END at once, JOIN on the welcome", none,
       {":s CAP * LS :multi-prefix sasl", ":s 001 me :Welcome"},
       {"CAP END"}, {"Joining channel..."}, true, false},
      {"PLAIN accepted", plain_plan(),
       {":s CAP * LS * :multi-prefix", ":s CAP * LS :sasl=PLAIN,EXTERNAL", ":s CAP me ACK :sasl",
        "AUTHENTICATE +", ":s 900 me me!u@h alice_acct :You are now logged in as alice_acct",
        ":s 903 me :SASL authentication successful", ":s 001 me :Welcome"},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", plain_payload, "CAP END"},
       {"Logged in as alice_acct", "Joining channel..."}, true, false},
      {"EXTERNAL sends an empty response", external,
       {":s CAP * LS :sasl", ":s CAP me ACK :sasl", "AUTHENTICATE +", ":s 903 me :ok"},
       {"CAP REQ :sasl", "AUTHENTICATE EXTERNAL", "AUTHENTICATE +", "CAP END"},
       {"Logged in as alice"}, false, false},
      {"PLAIN refused, going on without an account", plain_plan(),
       {":s CAP * LS :sasl", ":s CAP me ACK :sasl", "AUTHENTICATE +",
        ":s 904 me :SASL authentication failed", ":s 001 me :Welcome"},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", plain_payload, "CAP END"},
       {"SASL: login refused (904: SASL authentication failed); continuing without an account",
        "Joining channel..."}, true, false},
      {"PLAIN refused and required: disconnect, no CAP END, no JOIN", plain_plan(true),
       {":s CAP * LS :sasl", ":s CAP me ACK :sasl", "AUTHENTICATE +", ":s 904 me :failed"},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", plain_payload},
       {"SASL: login refused (904: failed); disconnecting"}, false, true},
      {"server without sasl", plain_plan(), {":s CAP * LS :multi-prefix", ":s 001 me :Hi"},
       {"CAP END"},
       {"SASL: the server offers no account login; continuing without an account",
        "Joining channel..."}, true, false},
      {"mechanism not offered", external, {":s CAP * LS :sasl=PLAIN"}, {"CAP END"},
       {"SASL: the server does not offer EXTERNAL; continuing without an account"}, false, false},
      {"NAK", plain_plan(), {":s CAP * LS :sasl", ":s CAP me NAK :sasl"}, {"CAP REQ :sasl", "CAP END"},
       {"SASL: the server refused sasl; continuing without an account"}, false, false},
      {"server without CAP answers 421", none, {":s 421 me CAP :Unknown command", ":s 001 me :Hi"},
       {}, {"Joining channel..."}, true, false},
      {"server without CAP and a required login", plain_plan(true),
       {":s 421 me CAP :Unknown command", ":s 001 me :Hi"}, {},
       {"SASL: the server offers no account login; disconnecting"}, false, true},
      {"server that ignores CAP welcomes us", none, {":s 001 me :Hi", ":s 001 me :Again"}, {},
       {"Joining channel..."}, true, false},
      {"PLAIN without TLS: the password is not sent", unencrypted,
       {":s CAP * LS :sasl", ":s 001 me :Welcome"}, {"CAP END"},
       {refused_in_clear + "continuing without an account", "Joining channel..."}, true, false},
      {"PLAIN without TLS, required: disconnect", unencrypted_required, {":s CAP * LS :sasl"}, {},
       {refused_in_clear + "disconnecting"}, false, true},
      {"PLAIN without TLS, allowed; a repeated + gets nothing more", allowed,
       {":s CAP * LS :sasl", ":s CAP me ACK :sasl", "AUTHENTICATE +", "AUTHENTICATE +",
        "AUTHENTICATE +", ":s 903 me :ok"},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", plain_payload, "CAP END"},
       {"Logged in as alice"}, false, false},
      {"an endless CAP LS ends negotiation at 64 KiB", none,
       Lines(170, endless_caps), {"CAP END"},
       {"CAP: the server's capability list passed 64 KiB; negotiation ended"}, false, false},
      {"stray lines out of turn change nothing", none,
       {"AUTHENTICATE +", ":s 903 me :ok", ":s CAP me ACK :sasl"}, {}, {}, false, false},
  };
  for (const Case& c : cases) {
    Exchange got = run(c.plan, c.server);
    EXPECT_EQ(got.sent, c.sent) << c.what;
    EXPECT_EQ(got.statuses, c.statuses) << c.what;
    Lines refusals;  // every account-login failure stays: the user has to act on it
    for (const std::string& status : c.statuses) {
      if (status.starts_with("SASL")) refusals.push_back(status);
    }
    EXPECT_EQ(got.refusals, refusals) << c.what;
    EXPECT_EQ(got.joined, c.joined) << c.what;
    EXPECT_EQ(got.gave_up, c.gave_up) << c.what;
  }
}

TEST(Registration, TakenNicksAndRefusedJoins) {
  RegistrationPlan plan;
  plan.channel = "#room";
  plan.nick = "alice";
  Exchange got = run(plan, {":s 433 * alice :Nickname already in use", ":s 001 alice_ :Welcome",
                            ":s 433 alice_ bob :in use",
                            ":s 471 alice_ #Room :Cannot join channel (+R) -- Registered users only"});
  EXPECT_EQ(got.sent, Lines{"NICK alice_"});  // after the welcome, a taken nick is the user's
  // ngircd says 471 for a channel of registered users: its text, not "the channel is full".
  EXPECT_EQ(got.statuses, (Lines{"Nick alice is in use; using alice_", "Joining channel...",
                                 "Cannot join #Room: Cannot join channel (+R) -- Registered users only"}));
  EXPECT_EQ(got.refusals, Lines{got.statuses.back()});
  EXPECT_TRUE(got.joined);

  plan.nick = "averylongnick";
  got = run(plan, Lines(6, ":s 433 * x :in use"));
  ASSERT_EQ(got.sent.size(), std::size_t{Registration::kNickAlternatives});
  EXPECT_EQ(got.sent[0], "NICK averylon_");
  for (std::size_t i = 1; i < got.sent.size(); ++i) {
    EXPECT_EQ(got.sent[i].size(), 5 + 9u) << got.sent[i];  // "NICK " + at most 9
    EXPECT_TRUE(got.sent[i].starts_with("NICK averylo")) << got.sent[i];
  }
  EXPECT_EQ(got.statuses.back(), "Nick x is not available; choose another with /nick");
  EXPECT_EQ(got.refusals, Lines(2, got.statuses.back()));  // one for each refusal past the last try

  struct Refusal {
    const char* line;
    const char* words;
  };
  for (const Refusal& r : {Refusal{":s 473 me #room :x", "it is invite only"},
                           Refusal{":s 474 me #room :x", "you are banned from it"},
                           Refusal{":s 475 me #room :x", "it needs a channel key"},
                           Refusal{":s 477 me #room :Registered nicks only", "Registered nicks only"},
                           Refusal{":s 403 me #room :x", "there is no such channel"},
                           Refusal{":s 405 me #room :x", "you are in too many channels"},
                           Refusal{":s 471 me #other :x", ""}}) {
    const std::string text = join_refusal_text(parse_line(r.line), "#room");
    EXPECT_EQ(text, *r.words ? std::string("Cannot join #room: ") + r.words : "") << r.line;
  }
}

TEST(Registration, LongPayloadsGoInPiecesEndedByPlus) {
  EXPECT_EQ(authenticate_lines(""), Lines{"AUTHENTICATE +"});
  const Lines exact = authenticate_lines(std::string(300, 'x'));  // 400 base64 characters
  ASSERT_EQ(exact.size(), 2u);
  EXPECT_EQ(exact[0].size(), std::string("AUTHENTICATE ").size() + 400);
  EXPECT_EQ(exact[1], "AUTHENTICATE +");
  const Lines longer = authenticate_lines(std::string(301, 'x'));
  ASSERT_EQ(longer.size(), 2u);
  EXPECT_NE(longer[1], "AUTHENTICATE +");
}

TEST(Registration, Base64KnownAnswers) {
  // RFC 4648, section 10.
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& [in, out] : vectors) EXPECT_EQ(base64_encode(in), out) << in;
  EXPECT_EQ(base64_encode(std::string("\0\xff", 2)), "AP8=");
}

TEST(SecretMask, PasswordsAndPayloadsAreMasked) {
  const std::pair<const char*, const char*> cases[] = {
      {"PASS hunter2", "PASS ****"},
      {"pass :with spaces", "pass ****"},
      {"AUTHENTICATE YWxpY2UAYWxpY2UAczNjcmV0", "AUTHENTICATE ****"},
      {"AUTHENTICATE PLAIN", "AUTHENTICATE PLAIN"},
      {"AUTHENTICATE +", "AUTHENTICATE +"},
      {"OPER admin hunter2", "OPER admin ****"},
      {"PRIVMSG #c :PASS hunter2", "PRIVMSG #c :PASS hunter2"},
      {"PRIVMSG NickServ :IDENTIFY hunter2", "PRIVMSG NickServ :IDENTIFY ****"},
      {"privmsg nickserv :identify alice hunter2", "privmsg nickserv :identify ****"},
      {"NICKSERV IDENTIFY hunter2", "NICKSERV IDENTIFY ****"},
      {"ns ghost alice hunter2", "ns ghost ****"},
      {"PRIVMSG NickServ :INFO alice", "PRIVMSG NickServ :INFO alice"},
      {"PRIVMSG #c :identify hunter2", "PRIVMSG #c :identify hunter2"},
      {"PASS", "PASS"},
      {"", ""},
  };
  for (const auto& [line, shown] : cases) EXPECT_EQ(mask_secrets(line), shown) << line;
}

TEST(MessageTags, AreTakenOffBeforeEverythingElse) {
  const IrcMessage tagged = parse_line("@time=2026-12-07T13:00:00.000Z;msgid=a1  :n!u@h PRIVMSG #c :hi");
  EXPECT_EQ(tagged.tags, "time=2026-12-07T13:00:00.000Z;msgid=a1");
  IrcMessage expected = parse_line(":n!u@h PRIVMSG #c :hi");
  expected.tags = tagged.tags;
  EXPECT_EQ(tagged, expected);
  EXPECT_EQ(parse_line("@a=b PING :x").command, "PING");
  EXPECT_EQ(without_tags("@only-tags"), "");
  EXPECT_EQ(without_tags("PING :x"), "PING :x");
}

}  // namespace
}  // namespace velmora
