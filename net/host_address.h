#pragma once
// Turns the server text a user typed into an IPv4 address.

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// The host part of a server text: every leading "http://" removed, then everything from
// the first "/" on cut off.
std::string host_name_part(const std::string& text);

// A dotted IPv4 address is taken as it is; anything else is looked up by its host part.
// The address is in network byte order; nothing when the name is unknown.
std::optional<std::uint32_t> resolve_host(const std::string& text);

}  // namespace velmora
