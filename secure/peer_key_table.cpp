#include "secure/peer_key_table.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>
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
  struct Entry {
    int value;
    std::uint64_t age;  // order of first storing, for trim
  };
  mutable std::mutex lock;
  std::unordered_map<std::string, Entry, PeerHasher, std::equal_to<>> values;
  std::uint64_t next_age = 0;
};

PeerKeyTable::PeerKeyTable() : impl_(std::make_unique<Impl>()) {}
PeerKeyTable::~PeerKeyTable() = default;

int PeerKeyTable::get(std::string_view nick) const {
  std::lock_guard guard(impl_->lock);
  auto found = impl_->values.find(nick);
  return found == impl_->values.end() ? 0 : found->second.value;
}

void PeerKeyTable::set(std::string_view nick, int value) {
  std::lock_guard guard(impl_->lock);
  auto found = impl_->values.find(nick);
  if (value == 0) {
    if (found != impl_->values.end()) impl_->values.erase(found);
  } else if (found != impl_->values.end()) {
    found->second.value = value;
  } else {
    impl_->values.emplace(std::string(nick), Impl::Entry{value, impl_->next_age++});
  }
}

std::size_t PeerKeyTable::size() const {
  std::lock_guard guard(impl_->lock);
  return impl_->values.size();
}

void PeerKeyTable::trim(std::size_t max_entries,
                        const std::function<bool(std::string_view)>& keep) {
  std::lock_guard guard(impl_->lock);
  auto& values = impl_->values;
  if (values.size() <= max_entries) return;
  std::vector<std::pair<std::uint64_t, std::string_view>> candidates;
  for (const auto& [nick, entry] : values) {
    if (!keep(nick)) candidates.emplace_back(entry.age, nick);
  }
  const std::size_t excess = values.size() - max_entries;
  const std::size_t drop = std::min(excess, candidates.size());
  std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(drop),
                    candidates.end());
  std::vector<std::string> doomed;
  for (std::size_t i = 0; i < drop; ++i) doomed.emplace_back(candidates[i].second);
  for (const std::string& nick : doomed) values.erase(nick);
}

}  // namespace velmora
