#pragma once
// What a test reads of a client's window queue: the chat texts in it (opened on
// arrival), as the window would show them.

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/eventually.h"

namespace velmora::test_support {

// Takes every queued line; the texts of the PRIVMSG lines among them, in order.
template <class State>
std::vector<std::string> take_chat_texts(State& state) {
  std::vector<std::string> texts;
  while (state.connection().queued_count() > 0) {
    const auto message = state.connection().pop_message();
    if (message.command == "PRIVMSG") texts.push_back(message.text());
  }
  return texts;
}

// Takes queued lines until a chat line with `text` was among them, within `bound`.
template <class State>
bool wait_for_chat_text(State& state, const std::string& text,
                        std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  return eventually([&] {
    for (const std::string& t : take_chat_texts(state)) {
      if (t == text) return true;
    }
    return false;
  }, bound);
}

}  // namespace velmora::test_support
