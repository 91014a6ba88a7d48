#include "secure/channel_security.h"

#include <algorithm>
#include <mutex>

#include "secure/blowfish.h"
#include "secure/chat_line_split.h"
#include "secure/control_text.h"
#include "secure/seal.h"

namespace velmora {

namespace {
constexpr std::string_view kPlainModeKey = " ";  // one space: a short key on purpose
constexpr std::size_t kChannelKeySize = 56;
}  // namespace

bool well_formed_channel_key(std::string_view key) {
  return key.size() == kChannelKeySize &&
         std::all_of(key.begin(), key.end(), [](char c) { return c >= 33 && c <= 126; });
}

// One lock over the keys and the channel cipher, so a seal or open on the window thread
// never sees a key half loaded by the receive thread.
struct ChannelSecurity::Impl {
  mutable std::mutex lock;
  std::string passphrase;
  std::string channel_key;
  BlowfishCipher channel_cipher;
};

ChannelSecurity::ChannelSecurity() : impl_(std::make_unique<Impl>()) {}
ChannelSecurity::~ChannelSecurity() = default;

void ChannelSecurity::begin_connection(const std::string& passphrase) {
  std::lock_guard guard(impl_->lock);
  impl_->passphrase = passphrase;
  if (passphrase.empty()) {
    impl_->channel_key.assign(kPlainModeKey.size(), kPlainModeKey[0]);
    impl_->channel_cipher.set_key(kPlainModeKey);
  }
}

std::string ChannelSecurity::passphrase() const {
  std::lock_guard guard(impl_->lock);
  return impl_->passphrase;
}

std::string ChannelSecurity::channel_key() const {
  std::lock_guard guard(impl_->lock);
  return impl_->channel_key;
}

void ChannelSecurity::set_channel_key(const std::string& key) {
  BlowfishCipher cipher;
  cipher.set_key(key);  // scheduled outside the lock: 521 block encryptions
  std::lock_guard guard(impl_->lock);
  impl_->channel_key = key;
  impl_->channel_cipher = cipher;
}

std::vector<std::string> ChannelSecurity::seal_chat_line(std::string_view line,
                                                         std::string_view channel) const {
  std::lock_guard guard(impl_->lock);
  if (impl_->passphrase.empty()) return {std::string(line)};
  // Without the channel key there is nothing safe to seal under.
  if (impl_->channel_key.empty()) return {};
  std::vector<std::string> texts;
  for (const std::string& piece : split_chat_line(line, max_sealed_plain_size(channel))) {
    std::string text(kCryptoMarker);
    text += ' ';
    text += seal_cbc(impl_->channel_cipher, piece);
    texts.push_back(std::move(text));
  }
  return texts;
}

std::optional<std::vector<std::string>> ChannelSecurity::seal_action(
    std::string_view text, std::string_view channel) const {
  static constexpr std::string_view kOpen = "\x01" "ACTION ";
  std::lock_guard guard(impl_->lock);
  if (impl_->passphrase.empty()) return std::nullopt;
  std::vector<std::string> texts;
  if (impl_->channel_key.empty()) return texts;
  const std::size_t room = max_sealed_plain_size(channel, kOpen.size() + 1);
  for (const std::string& piece : split_chat_line(text, room)) {
    std::string sealed(kOpen);
    sealed += kCryptoMarker;
    sealed += ' ';
    sealed += seal_cbc(impl_->channel_cipher, piece);
    sealed += '\x01';
    texts.push_back(std::move(sealed));
  }
  return texts;
}

std::optional<std::string> ChannelSecurity::open_chat_text(std::string_view text) const {
  if (!text.starts_with(kCryptoMarker)) return std::string(text);
  const std::string_view sealed = text_after(text, kCryptoMarker.size() + 1);
  std::lock_guard guard(impl_->lock);
  return open_cbc_checked(impl_->channel_cipher, sealed);
}

}  // namespace velmora
