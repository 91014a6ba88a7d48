#include "secure/peer_key_table.h"

#include <functional>
#include <mutex>
#include <unordered_map>

namespace velmora {

namespace {

std::uint32_t two_bytes(const unsigned char* p) { return p[0] + 256u * p[1]; }

std::uint32_t hash_tail(std::uint32_t h, const unsigned char* p, std::size_t rest) {
  switch (rest) {
    case 3:
      h += two_bytes(p);
      h ^= h >> 16;  // right, not left: peers place nicks by this
      h ^= std::uint32_t{p[2]} << 18;
      h += h >> 11;
      break;
    case 2:
      h += two_bytes(p);
      h ^= h << 11;
      h += h >> 17;
      break;
    case 1:
      h += p[0];
      h ^= h << 10;
      h += h >> 1;
      break;
    default:
      break;
  }
  return h;
}

struct PeerHasher {
  using is_transparent = void;
  std::size_t operator()(std::string_view nick) const { return peer_hash(nick); }
};

}  // namespace

std::uint32_t peer_hash(std::string_view text) {
  if (text.empty()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  auto h = static_cast<std::uint32_t>(text.size());
  std::size_t groups = text.size() / 4;
  for (; groups > 0; --groups, p += 4) {
    h += two_bytes(p);
    std::uint32_t t = (two_bytes(p + 2) << 11) ^ h;
    h = (h << 16) ^ t;
    h += h >> 11;
  }
  h = hash_tail(h, p, text.size() % 4);
  h ^= h << 3;
  h += h >> 5;
  h ^= h << 4;
  h += h >> 17;
  h ^= h << 25;
  h += h >> 6;
  return h;
}

// Chained by nick, so a nick that shares another's hash keeps its own value. Only
// non-zero values are stored: 0 is what an absent nick reads as, so a flood of joins
// (each marked 0) costs nothing.
struct PeerKeyTable::Impl {
  mutable std::mutex lock;
  std::unordered_map<std::string, int, PeerHasher, std::equal_to<>> values;
};

PeerKeyTable::PeerKeyTable() : impl_(std::make_unique<Impl>()) {}
PeerKeyTable::~PeerKeyTable() = default;

int PeerKeyTable::get(std::string_view nick) const {
  std::lock_guard guard(impl_->lock);
  auto found = impl_->values.find(nick);
  return found == impl_->values.end() ? 0 : found->second;
}

void PeerKeyTable::set(std::string_view nick, int value) {
  std::lock_guard guard(impl_->lock);
  auto found = impl_->values.find(nick);
  if (value == 0) {
    if (found != impl_->values.end()) impl_->values.erase(found);
  } else if (found != impl_->values.end()) {
    found->second = value;
  } else {
    impl_->values.emplace(std::string(nick), value);
  }
}

}  // namespace velmora
