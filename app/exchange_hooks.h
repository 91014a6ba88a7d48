#pragma once
// Connects the receive thread to the key-exchange rules: a fresh KeyExchange for every
// connection, and the names list handed to the user list before the rules see it.

#include <memory>

#include "irc/receive_hooks.h"
#include "secure/key_exchange.h"

namespace velmora {

class AppState;

class ExchangeHooks : public ReceiveHooks {
public:
  explicit ExchangeHooks(AppState& state) : state_(state) {}
  void connection_started() override;
  bool handle_message(const std::string& sender, const std::string& command,
                      const std::string& text) override;
  void names_stored(const std::vector<std::string>& users) override;
  void connection_ended() override;
  void registration_status(const std::string& text) override;

private:
  AppState& state_;
  std::unique_ptr<KeyExchange> exchange_;  // touched by the receive thread only
};

}  // namespace velmora
