// A chat line is always sealed and opened under the channel key, even while the
// receive thread answers key requests with other keys in its own ciphers.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/key_exchange/exchange_harness.h"

namespace velmora {
namespace {

using test_support::Client;

TEST(Concurrency, ChatLinesOpenWhileRequestsAreAnswered) {
  Client h("h", "pw");
  h.env.users = {"h"};
  h.exchange->handle_names_end();
  ASSERT_TRUE(h.holds_key());

  // Requests made in advance so the answering thread only answers.
  std::vector<std::string> requests;
  for (int i = 0; i < 4; ++i) {
    Client j("j" + std::to_string(i), "pw");
    j.exchange->initiate_exchange("h");
    requests.push_back(j.env.take_sent().at(0).text);
  }

  std::atomic<bool> answering{true};
  std::thread receive_thread([&] {
    for (int round = 0; round < 10; ++round) {
      for (const std::string& request : requests) {
        h.exchange->handle_message("j", "PRIVMSG", request);
        h.exchange->handle_message("x", "PRIVMSG", "@AUTHENTICATED");
      }
    }
    answering = false;
  });
  int lines = 0;
  int wrong = 0;
  do {
    const std::string line = "line number " + std::to_string(lines++);
    for (const std::string& text : h.security.seal_chat_line(line, "#velmora")) {
      if (h.security.open_chat_text(text) != line) ++wrong;
    }
    h.peers.get("x");
  } while (answering || lines < 100);
  receive_thread.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(h.env.take_sent().size(), 10 * 2 * requests.size());
}

}  // namespace
}  // namespace velmora
