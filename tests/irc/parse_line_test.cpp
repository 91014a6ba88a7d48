#include <gtest/gtest.h>

#include <vector>

#include "irc/irc_message.h"

namespace velmora {
namespace {

struct ParseCase {
  const char* description;
  std::string line;
  std::string nick;
  std::string user_host;
  std::string command;
  std::vector<std::string> params;
  int trailing_index;
};

// The first seven rows are independently computed known answers.
const std::vector<ParseCase> kCases = {
    {"privmsg with prefix", ":nick!user@host PRIVMSG #chan :hello there", "nick", "user@host",
     "PRIVMSG", {"#chan", "hello there"}, 1},
    {"server ping", "PING :server1", "", "", "PING", {"server1"}, 0},
    {"names reply", ":server1 353 me = #chan :@op +v plain", "server1", ":server1", "353",
     {"me", "=", "#chan", "@op +v plain"}, 3},
    {"command without params", ":n!u@h QUIT", "n", "u@h", "QUIT", {" "}, 0},
    {"colon inside a middle", ":n!u@h MODE #chan +k a:b", "n", "u@h", "MODE",
     {"#chan", "+k", "a:b"}, 0},
    {"no prefix, no space", "ABC", "", "", "", {"BC"}, 0},
    {"trailing trimmed", ":n!u@h PRIVMSG #chan :  two  spaces  ", "n", "u@h", "PRIVMSG",
     {"#chan", "two  spaces"}, 1},
    {"command with one trailing space", ":n!u@h QUIT ", "n", "u@h", "QUIT", {" "}, 0},
    {"join middle", ":n!u@h JOIN #chan", "n", "u@h", "JOIN", {"#chan"}, 0},
    {"join trailing", ":n!u@h JOIN :#chan", "n", "u@h", "JOIN", {"#chan"}, 0},
    {"repeated separators", ":s 001 me   x :hi", "s", ":s", "001", {"me", "x", "hi"}, 2},
    {"prefix without space", ":abc", "", "", "abc", {" "}, 0},
    {"empty trailing", ":n!u@h PRIVMSG #c :", "n", "u@h", "PRIVMSG", {"#c", ""}, 1},
    {"bang at prefix end", ":n! X y", "n", "", "X", {"y"}, 0},
};

TEST(ParseLine, Table) {
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(c.description);
    IrcMessage m = parse_line(c.line);
    EXPECT_EQ(m.nick, c.nick);
    EXPECT_EQ(m.user_host, c.user_host);
    EXPECT_EQ(m.command, c.command);
    EXPECT_EQ(m.trailing_index, c.trailing_index);
    for (std::size_t i = 0; i < IrcMessage::kMaxParams; ++i) {
      EXPECT_EQ(m.param(i), i < c.params.size() ? c.params[i] : "") << "slot " << i;
    }
  }
}

std::string words(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += "w" + std::to_string(i) + " ";
  return out;
}

TEST(ParseLine, MoreThan32ParamsStayInTheSlots) {
  IrcMessage m = parse_line(":s X " + words(40) + ":the text");
  EXPECT_EQ(m.param(30), "w30");
  EXPECT_EQ(m.param(31), "w31 w32 w33 w34 w35 w36 w37 w38 w39 :the text");
  EXPECT_EQ(m.trailing_index, 0);
}

TEST(ParseLine, TrailingInTheLastSlot) {
  IrcMessage m = parse_line(":s X " + words(31) + ":the text");
  EXPECT_EQ(m.param(31), "the text");
  EXPECT_EQ(m.trailing_index, 31);
}

}  // namespace
}  // namespace velmora
