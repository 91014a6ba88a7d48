#include "net/host_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <string_view>

namespace velmora {

std::string host_name_part(const std::string& text) {
  constexpr std::string_view kPrefix = "http://";
  std::string_view host = text;
  while (host.substr(0, kPrefix.size()) == kPrefix) host.remove_prefix(kPrefix.size());
  host = host.substr(0, host.find('/'));
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  return std::string(host);
}

std::vector<HostAddress> resolve_host(const std::string& text, int port) {
  const std::string host = host_name_part(text);
  if (host.empty()) return {};
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  const std::string service = std::to_string(port);
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return {};
  std::vector<HostAddress> addresses;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
        a->ai_addrlen > sizeof(sockaddr_storage)) {
      continue;
    }
    HostAddress entry;
    std::memcpy(&entry.address, a->ai_addr, a->ai_addrlen);
    entry.length = a->ai_addrlen;
    entry.family = a->ai_family;
    addresses.push_back(entry);
  }
  ::freeaddrinfo(found);
  return addresses;
}

}  // namespace velmora
