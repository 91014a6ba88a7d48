#include "net/host_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <string_view>

namespace velmora {

std::string host_name_part(const std::string& text) {
  constexpr std::string_view kPrefix = "http://";
  std::string_view host = text;
  while (host.substr(0, kPrefix.size()) == kPrefix) host.remove_prefix(kPrefix.size());
  return std::string(host.substr(0, host.find('/')));
}

std::optional<std::uint32_t> resolve_host(const std::string& text) {
  // inet_addr cannot tell 255.255.255.255 from a failure; that address goes to the lookup.
  in_addr_t dotted = ::inet_addr(text.c_str());
  if (dotted != INADDR_NONE) return dotted;

  std::string host = host_name_part(text);
  if (host.empty()) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
    return std::nullopt;
  std::uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return address;
}

}  // namespace velmora
