// The member list between names replies, and the pace of names requests.

#include <gtest/gtest.h>

#include "irc/channel_members.h"

namespace velmora {
namespace {

using Members = std::vector<std::string>;

TEST(ChannelMembers, LinesChangeTheList) {
  struct Case {
    std::string line;
    Members after;
    bool changed;
  };
  const Members start{"me", "amy", "bob"};
  const Case cases[] = {
      {":cat!u@h JOIN #Room", {"me", "amy", "bob", "cat"}, true},
      {":cat!u@h JOIN :#room", {"me", "amy", "bob", "cat"}, true},
      {":amy!u@h JOIN #room", start, false},  // already there
      {":cat!u@h JOIN #other", start, false},
      {":amy!u@h PART #room :bye", {"me", "bob"}, true},
      {":amy!u@h PART #other", start, false},
      {":op!u@h KICK #room bob :out", {"me", "amy"}, true},
      {":amy!u@h QUIT :gone", {"me", "bob"}, true},
      {":zed!u@h QUIT :gone", start, false},
      {":amy!u@h NICK :amy2", {"me", "amy2", "bob"}, true},
      {":amy!u@h NICK bob", {"me", "bob"}, true},  // a clash keeps one entry
      {":me!u@h PART #room", {}, true},
      {":op!u@h KICK #room me :out", {}, true},
      {":" + std::string(65, 'n') + "!u@h JOIN #room", start, false},
  };
  for (const Case& c : cases) {
    Members members = start;
    EXPECT_EQ(apply_membership(members, parse_line(c.line), "#room", "me"), c.changed) << c.line;
    EXPECT_EQ(members, c.after) << c.line;
  }
}

TEST(NamesRefresh, OneRequestAtATimeAtMostOneIn10sAndOneMoreForChangesMeanwhile) {
  using namespace std::chrono_literals;
  NamesRefresh refresh;
  const NamesRefresh::Clock::time_point t = NamesRefresh::Clock::now();
  EXPECT_FALSE(refresh.due(t));  // nothing changed
  EXPECT_TRUE(refresh.changed(t));
  for (int i = 0; i < 1000; ++i) EXPECT_FALSE(refresh.changed(t));
  EXPECT_FALSE(refresh.answered(t + 1s));  // changes came meanwhile, but too soon
  EXPECT_FALSE(refresh.due(t + 9s));
  EXPECT_TRUE(refresh.due(t + 10s));       // one more, then nothing since
  EXPECT_FALSE(refresh.answered(t + 11s));
  EXPECT_FALSE(refresh.due(t + 30s));
  EXPECT_TRUE(refresh.changed(t + 30s));
  EXPECT_FALSE(refresh.changed(t + 89s));
  EXPECT_TRUE(refresh.changed(t + 90s));  // the unanswered request no longer counts
}

}  // namespace
}  // namespace velmora
