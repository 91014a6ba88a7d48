#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

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
      {"[::1]", "::1"},
      {"::1", "::1"},
  };
  for (const Case& c : cases) EXPECT_EQ(host_name_part(c.text), c.host) << c.text;
}

// The addresses in the resolver's order, as text.
std::vector<std::string> addresses(const std::string& text) {
  std::vector<std::string> out;
  for (const HostAddress& a : resolve_host(text, 6667)) {
    char buffer[INET6_ADDRSTRLEN] = {};
    const void* raw = a.family == AF_INET
                          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(a.address).sin_addr)
                          : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(a.address).sin6_addr);
    out.emplace_back(inet_ntop(a.family, raw, buffer, sizeof buffer));
  }
  return out;
}

TEST(HostAddress, LiteralAddressesAndLocalNames) {
  using List = std::vector<std::string>;
  EXPECT_EQ(addresses("127.0.0.1"), List{"127.0.0.1"});
  EXPECT_EQ(addresses("http://127.0.0.2/x"), List{"127.0.0.2"});
  EXPECT_EQ(addresses("::1"), List{"::1"});
  EXPECT_EQ(addresses("[::1]"), List{"::1"});
  EXPECT_FALSE(addresses("localhost").empty());
  EXPECT_TRUE(addresses("").empty());
  EXPECT_TRUE(addresses("http://").empty());
  EXPECT_TRUE(addresses("no-such-host.invalid").empty());
}

}  // namespace
}  // namespace velmora
