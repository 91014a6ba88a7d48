#pragma once
// What the layer above hears of a connection's life, so that it never looks into the
// socket: the welcome, and the end with its reason in words. Both come from the
// receive thread of the connection they name; `generation` tells a late word from an
// earlier connection apart from the current one.

#include <cstdint>
#include <string>

namespace velmora {

class LinkEvents {
public:
  virtual ~LinkEvents() = default;
  virtual void link_welcomed(std::uint64_t generation) = 0;
  // `reason` is empty when we ended the connection ourselves (a stop, a new attempt,
  // a failed required account login): nothing to reconnect for.
  virtual void link_ended(std::uint64_t generation, const std::string& reason) = 0;
};

}  // namespace velmora
