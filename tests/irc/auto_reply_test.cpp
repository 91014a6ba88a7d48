#include <gtest/gtest.h>

#include "irc/auto_reply.h"
#include "irc/receive_loop.h"
#include "irc/terminator.h"

namespace velmora {
namespace {

std::tm sample_time() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 5;
  t.tm_wday = 6;
  t.tm_hour = 20;
  t.tm_min = 19;
  t.tm_sec = 10;
  return t;
}

TEST(CtcpTime, FormatsWithEnglishNamesAndTwoDigitDay) {
  EXPECT_EQ(ctcp_time_text(sample_time()), "Sat Dec 05 20:19:10 2026");
  std::tm t = sample_time();
  t.tm_wday = 0;
  t.tm_mon = 0;
  t.tm_hour = 3;
  EXPECT_EQ(ctcp_time_text(t), "Sun Jan 05 03:19:10 2026");
}

struct ReplyCase {
  const char* description;
  std::string raw;
  ReplyKind kind;
  std::string line;
};

TEST(AutomaticReply, Table) {
  const std::vector<ReplyCase> cases = {
      {"server ping", "PING :server1", ReplyKind::ServerPing, "PONG :server1"},
      {"prefixed ping", ":irc.example PING :x", ReplyKind::ServerPing, "PONG :x"},
      {"no space: not a command", "PING", ReplyKind::None, ""},
      {"ping middle", "PING irc.example", ReplyKind::ServerPing, "PONG irc.example"},
      {"PING in text only", ":bob!u@h PRIVMSG #c :PING me", ReplyKind::None, ""},
      {"version", ":bob!u@h PRIVMSG me :\x01VERSION\x01", ReplyKind::ClientQuery,
       "NOTICE bob :\x01VERSION Velmora:1.0:Windows\x01"},
      {"version with extra", ":bob!u@h PRIVMSG me :\x01VERSION extra\x01", ReplyKind::None, ""},
      {"ctcp ping", ":bob!u@h PRIVMSG me :\x01PING 12345\x01", ReplyKind::ClientQuery,
       "NOTICE bob :\x01PING 12345\x01"},
      {"time", ":bob!u@h PRIVMSG me :\x01TIME\x01", ReplyKind::ClientQuery,
       "NOTICE bob :\x01TIME Sat Dec 05 20:19:10 2026\x01"},
      {"query inside a notice", ":bob!u@h NOTICE me :\x01VERSION\x01", ReplyKind::None, ""},
      {"ping reply notice", ":bob!u@h NOTICE me :\x01PING 1\x01", ReplyKind::None, ""},
      {"plain chat", ":bob!u@h PRIVMSG #c :hello", ReplyKind::None, ""},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.description);
    AutoReply r = automatic_reply(parse_line(c.raw), c.raw, sample_time());
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.line, c.line);
  }
}

TEST(QueryLimiter, FiveInAnyTenSeconds) {
  QueryLimiter limiter;
  auto t0 = QueryLimiter::Clock::time_point{} + std::chrono::hours(1);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(limiter.allow(t0 + std::chrono::seconds(i)));
  EXPECT_FALSE(limiter.allow(t0 + std::chrono::seconds(5)));
  EXPECT_FALSE(limiter.allow(t0 + std::chrono::milliseconds(9999)));
  EXPECT_TRUE(limiter.allow(t0 + std::chrono::seconds(10)));  // the first has aged out
  EXPECT_FALSE(limiter.allow(t0 + std::chrono::seconds(10)));
}

TEST(Terminator, DetectionOrder) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"line\r\n", "\r\n"},
      {"line\n", "\n"},
      {"a\nb\r\n", "\r\n"},  // CR LF is searched first
      {"a\n\rb", "\n\r"},
      {"a\rb", "\r"},
      {std::string("a\0b\r\n", 5), "\r\n"},  // NUL bytes do not hide it
      {"no end yet", ""},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(detect_terminator(bytes), expected);
  EXPECT_EQ(detect_terminator(std::string(512, 'x') + "\n"), "");  // beyond the window
  EXPECT_EQ(detect_terminator(std::string(511, 'x') + "\r\n"), "\r\n");  // CR ends the window
}

// Whatever part of the first lines has arrived, the terminator settled is the one the
// whole lines give, or none yet; only a closed connection settles a trailing CR.
TEST(Terminator, EveryPrefixOfTheFirstLinesSettlesRightOrWaits) {
  const std::vector<std::string> firsts = {
      ":s NOTICE * :hi\r\nPING :x\r\n", ":s NOTICE * :hi\rPING :x\r",
      ":s NOTICE * :hi\nPING :x\n", std::string(511, 'x') + "\r\n"};
  for (const std::string& first : firsts) {
    const std::string whole = settle_terminator(first, false);
    for (std::size_t n = 1; n < first.size(); ++n) {
      const std::string got = settle_terminator(first.substr(0, n), true);
      EXPECT_TRUE(got.empty() || got == whole) << n << " bytes of " << first;
    }
  }
  EXPECT_EQ(settle_terminator("line\r", true), "");
  EXPECT_EQ(settle_terminator("line\r", false), "\r");
  EXPECT_EQ(settle_terminator(std::string(600, 'x'), true), "\r\n");
}

TEST(NamesPrefix, OneModeCharacterAtMost) {
  EXPECT_EQ(strip_mode_prefix("@alice"), "alice");
  EXPECT_EQ(strip_mode_prefix("+bob"), "bob");
  EXPECT_EQ(strip_mode_prefix("-dave"), "dave");
  EXPECT_EQ(strip_mode_prefix("@@x"), "@x");
  EXPECT_EQ(strip_mode_prefix("carol"), "carol");
  EXPECT_EQ(strip_mode_prefix(""), "");
}

}  // namespace
}  // namespace velmora
