#pragma once
// Turns the server text a user typed into the addresses to try, IPv4 and IPv6.

#include <sys/socket.h>

#include <string>
#include <vector>

namespace velmora {

// The host part of a server text: every leading "http://" removed, then everything from
// the first "/" on cut off, and the brackets of "[::1]" taken away.
std::string host_name_part(const std::string& text);

struct HostAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  int family = 0;  // AF_INET or AF_INET6
};

// A dotted IPv4 or a textual IPv6 address is taken as it is; anything else is looked
// up by its host part, every address the resolver gives in its order, with `port`
// filled in. Empty when the name is unknown.
std::vector<HostAddress> resolve_host(const std::string& text, int port);

}  // namespace velmora
