#pragma once
// One client of a test's server: its folder and settings file (channel #room,
// passphrase "pass"), its recording state, and what the window would do with it.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/recording_state.h"
#include "tests/support/eventually.h"
#include "tests/support/queued_chat.h"
#include "tests/support/temp_folder.h"

namespace velmora::test_support {

class RecordingClient {
public:
  // `extra`: more settings lines, each ending in a newline.
  RecordingClient(int port, const std::string& nick, const std::string& extra,
                  AppOptions options = AppOptions{std::chrono::milliseconds(5)}) {
    folder_.write("setup.ini", "SERVER=localhost\nPORT=" + std::to_string(port) +
                                   "\nCHANNEL=#room\nNICK=" + nick + "\nKEY=pass\n" + extra);
    state_ = std::make_unique<RecordingState>(folder_.path(), folder_.file("setup.ini"), options);
  }
  // The recorder's override must not be called while the state is being taken apart.
  ~RecordingClient() {
    eventually([&] { return !state_->attempt_in_progress(); });
    state_->connection().shutdown();
  }
  RecordingClient(const RecordingClient&) = delete;
  RecordingClient& operator=(const RecordingClient&) = delete;

  RecordingState& state() { return *state_; }
  bool in_channel() { return !state_->channel_users().empty(); }
  bool holds_key() { return state_->holds_key(); }
  std::string log() { return folder_.read("log.txt"); }
  // Every line waiting for the window, as received; the client's notes as "note: " + text.
  std::vector<std::string> view_lines() {
    std::vector<std::string> lines;
    while (state_->connection().queued_count() > 0) {
      const ReceivedLine item = state_->connection().queue().pop();
      lines.push_back(item.note ? "note: " + item.note->text : item.raw);
    }
    return lines;
  }
  void say(const std::string& line) { state_->send_chat_line(line); }
  bool wait_for_text(const std::string& text) { return wait_for_chat_text(*state_, text); }

private:
  TempFolder folder_;
  std::unique_ptr<RecordingState> state_;
};

}  // namespace velmora::test_support
