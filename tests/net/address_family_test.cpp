// Connecting by IPv6 literal, bracketed literal and host name, to a server that
// listens on one address family only; and a refusal said in words.

#include <gtest/gtest.h>

#include "net/chat_socket.h"
#include "net/host_address.h"
#include "tests/support/ngircd_server.h"

namespace velmora {
namespace {

TEST(AddressFamilies, EveryAddressIsTriedInTurn) {
  struct Case {
    bool server_ipv6;
    std::string host;
  };
  std::vector<Case> cases = {{true, "::1"}, {true, "[::1]"}, {false, "127.0.0.1"}, {false, "localhost"}};
  // A name with both families: only where the machine's hosts file gives one.
  for (const HostAddress& a : resolve_host("localhost", 1)) {
    if (a.family == AF_INET6) cases.push_back({true, "localhost"});
  }
  for (const Case& c : cases) {
    test_support::NgircdOptions options;
    options.ipv6 = c.server_ipv6;
    test_support::NgircdServer server(options);
    ASSERT_TRUE(server.running()) << c.host;
    ChatSocket socket;
    EXPECT_EQ(socket.connect(c.host, server.port()), 0) << c.host;
    EXPECT_FALSE(socket.is_closed()) << c.host;
  }
}

TEST(AddressFamilies, ARefusalIsSaidInWords) {
  ChatSocket socket;
  const int closed_port = test_support::free_local_port();
  EXPECT_EQ(socket.connect("127.0.0.1", closed_port), 3);
  EXPECT_EQ(socket.failure_text(), "connection refused by 127.0.0.1");
  EXPECT_EQ(socket.connect("no-such-host.invalid", closed_port), 2);
  EXPECT_EQ(socket.failure_text(), "host not found: no-such-host.invalid");
}

}  // namespace
}  // namespace velmora
