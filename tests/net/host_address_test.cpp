#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "net/host_address.h"

namespace velmora {
namespace {

TEST(HostAddress, HostPartStripsPrefixesAndPath) {
  struct Case {
    std::string text, host;
  };
  const Case cases[] = {
      {"irc.example.net", "irc.example.net"},
      {"http://irc.example.net/chat/room", "irc.example.net"},
      {"http://http://irc.example.net", "irc.example.net"},
      {"HTTP://irc.example.net", "HTTP:"},  // the prefix is case-sensitive
      {"https://irc.example.net", "https:"},
      {"/path", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(host_name_part(c.text), c.host) << c.text;
}

TEST(HostAddress, DottedAddressesAndLocalNames) {
  EXPECT_EQ(resolve_host("127.0.0.1"), inet_addr("127.0.0.1"));
  EXPECT_EQ(resolve_host("10.1.2.3"), inet_addr("10.1.2.3"));
  EXPECT_EQ(resolve_host("http://127.0.0.2/x"), inet_addr("127.0.0.2"));
  EXPECT_EQ(resolve_host("localhost"), inet_addr("127.0.0.1"));
  EXPECT_EQ(resolve_host(""), std::nullopt);
  EXPECT_EQ(resolve_host("http://"), std::nullopt);
}

}  // namespace
}  // namespace velmora
