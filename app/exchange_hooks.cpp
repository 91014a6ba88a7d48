#include "app/exchange_hooks.h"

#include "app/app_state.h"

namespace velmora {
namespace {
constexpr int kRegistrationStatusSeconds = 10;
}  // namespace

void ExchangeHooks::connection_started() {
  exchange_ = std::make_unique<KeyExchange>(state_.security, state_.peer_keys, state_);
}

bool ExchangeHooks::handle_message(const std::string& sender, const std::string& command,
                                   const std::string& text) {
  return exchange_ && exchange_->handle_message(sender, command, text);
}

void ExchangeHooks::names_stored(const std::vector<std::string>& users) {
  state_.set_channel_users(users);
  if (exchange_) exchange_->handle_names_end();
}

void ExchangeHooks::registration_status(const std::string& text) {
  state_.set_status(text, kRegistrationStatusSeconds);
}

// A half-finished exchange does not survive the connection.
void ExchangeHooks::connection_ended() { exchange_.reset(); }

}  // namespace velmora
