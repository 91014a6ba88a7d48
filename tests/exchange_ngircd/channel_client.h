#pragma once
// A whole client (AppState) of a test's local server, in channel #room: its folder,
// settings file and state. The window's part (draining the queue) is done by the test
// through take_chat_texts().

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "tests/support/eventually.h"
#include "tests/support/queued_chat.h"
#include "tests/support/temp_folder.h"

namespace velmora::test_support {

class Client {
public:
  // `extra`: more settings lines, each ending in a newline.
  Client(int port, const std::string& nick, const std::string& passphrase,
         const std::string& extra = {})
      : nick_(nick) {
    folder_.write("setup.ini", "SERVER=127.0.0.1\nPORT=" + std::to_string(port) +
                                   "\nCHANNEL=#room\nNICK=" + nick + "\nKEY=" + passphrase +
                                   "\nAUTOCONNECT=1\n" + extra);
    start_state();
  }
  // A new process under the same settings: nothing of the old one is kept.
  void restart() {
    state_.reset();
    start_state();
  }

  AppState& state() { return *state_; }
  const std::string& nick() const { return nick_; }
  bool holds_key() { return state_->holds_key(); }
  // Whether this client knows `nick` to hold its key (announced the same check).
  bool sees_holder(const std::string& nick) {
    for (const MemberView& m : state_->agreement_snapshot().members) {
      if (m.nick == nick) return m.key == MemberKey::Ours;
    }
    return false;
  }

  void say(const std::string& line) { state_->send_chat_line(line); }

  std::vector<std::string> take_chat_texts() { return test_support::take_chat_texts(*state_); }

  // Waits until `text` arrives in clear; everything read on the way is kept.
  bool wait_for_text(const std::string& text) {
    return eventually([&] {
      for (std::string& t : take_chat_texts()) seen_.push_back(t);
      for (const std::string& t : seen_)
        if (t == text) return true;
      return false;
    });
  }

private:
  void start_state() { state_ = std::make_unique<AppState>(folder_.path(), folder_.file("setup.ini")); }

  TempFolder folder_;
  std::string nick_;
  std::unique_ptr<AppState> state_;
  std::vector<std::string> seen_;
};

}  // namespace velmora::test_support
