// ChatSocket against servers that misbehave: endless lines, floods, servers that never
// read. Memory and waiting must stay bounded, and nothing already received is lost.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "net/chat_socket.h"
#include "net/chat_socket_test_seam.h"
#include "tests/support/scripted_server.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::ScriptedServer;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Sanitizers make each byte costly, and their allocators keep freed memory resident,
// so the resident size says nothing there; the block capacity still does.
constexpr std::size_t kFloodBytes = 8u << 20;
constexpr bool kResidentSizeMeaningful = false;
#else
constexpr std::size_t kFloodBytes = 50u << 20;
constexpr bool kResidentSizeMeaningful = true;
#endif

char pattern_byte(std::size_t index) { return static_cast<char>(index % 251); }

// Resident memory of this process in KiB.
long resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

// A send that finds no room for this long ends a sender.
constexpr auto kSendBound = 10s;

// Sends `total` pattern bytes from the server on its own thread.
std::thread flood(ScriptedServer& server, std::size_t total, std::string trailer = {}) {
  return std::thread([&server, total, trailer] {
    std::string block(64 * 1024, '\0');
    for (std::size_t sent = 0; sent < total;) {
      std::size_t n = std::min(block.size(), total - sent);
      for (std::size_t i = 0; i < n; ++i) block[i] = pattern_byte(sent + i);
      if (!server.send_all(std::string_view(block.data(), n), kSendBound)) return;
      sent += n;
    }
    server.send_all(trailer, kSendBound);
  });
}

void connect_to(ChatSocket& socket, ScriptedServer& server) {
  EXPECT_EQ(socket.connect("127.0.0.1", server.port()), 0);
  EXPECT_TRUE(server.wait_for_client());
}

TEST(HostileServer, EndlessLineIsCutAndTheNextLineArrivesIntact) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  std::thread sender([&] {
    std::string block(64 * 1024, 'x');
    for (int i = 0; i < 160; ++i)  // 10 MiB without a line end
      if (!server.send_all(block, kSendBound)) return;
    server.send_all("\r\nPRIVMSG #c :normal line\r\n", kSendBound);
  });

  std::string first = socket.get_until("\r\n");
  std::string second = socket.get_until("\r\n");
  sender.join();
  EXPECT_EQ(first, std::string(ChatSocket::kMaxLine, 'x') + "\r\n");
  EXPECT_EQ(second, "PRIVMSG #c :normal line\r\n");
  EXPECT_LE(socket.recv_capacity(), ChatSocket::kMaxWaiting + 2 * 8192);
}

TEST(HostileServer, EndlessLineThenCloseGivesTheCutPart) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all(std::string(ChatSocket::kMaxLine + 500, 'y')));
  server.close_client();
  EXPECT_EQ(socket.get_until("\n"), std::string(ChatSocket::kMaxLine, 'y'));
  EXPECT_EQ(socket.length(), 0u);
}

TEST(HostileServer, FloodIsHeldBackWhileNobodyReadsAndNothingIsLost) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  long rss_before = resident_kib();
  std::thread sender = flood(server, kFloodBytes);

  auto deadline = Clock::now() + 3s;
  while (socket.length() < ChatSocket::kMaxWaiting && Clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(200ms);  // give an unbounded reader the time to overrun
  EXPECT_LE(socket.length(), ChatSocket::kMaxWaiting + 8192);
  long grown = resident_kib() - rss_before;
  RecordProperty("resident_growth_kib", std::to_string(grown));
  if (kResidentSizeMeaningful) {
    EXPECT_LT(grown, 6 * 1024);
  }

  std::string chunk(64 * 1024, '\0');
  std::size_t received = 0;
  std::size_t mismatches = 0;
  deadline = Clock::now() + 30s;
  while (received < kFloodBytes && Clock::now() < deadline) {
    int count = static_cast<int>(std::min(chunk.size(), kFloodBytes - received));
    ChatSocketTestSeam(socket).get(chunk.data(), count, 2000, false);
    if (count == 0) break;
    for (int i = 0; i < count; ++i)
      mismatches += chunk[i] != pattern_byte(received + i);
    received += count;
  }
  sender.join();
  EXPECT_EQ(received, kFloodBytes);
  EXPECT_EQ(mismatches, 0u);
  EXPECT_LE(socket.recv_capacity(), ChatSocket::kMaxWaiting + 2 * 8192);
}

// Bigger than what loopback buffers on both sides can hold once the server's receive
// buffer is small.
constexpr std::size_t kUnsendable = ChatSocket::kMaxQueued;  // the most that may wait
constexpr auto kDrainSlack = 2000ms;
const ScriptedServer::Options kNeverReads{.greeting = "", .receive_buffer = 4096, .reading = false};

TEST(HostileServer, CloseGivesUpOnAServerThatNeverReads) {
  ScriptedServer server(kNeverReads);
  ChatSocket socket;
  connect_to(socket, server);
  std::string bytes(kUnsendable, 'q');
  ChatSocketTestSeam(socket).put_data(bytes.data(), static_cast<int>(bytes.size()));
  auto start = Clock::now();
  socket.close();
  EXPECT_LT(Clock::now() - start, ChatSocket::kDrainBound + kDrainSlack);
  EXPECT_TRUE(socket.is_closed());
}

TEST(HostileServer, DestructionGivesUpOnAServerThatNeverReads) {
  ScriptedServer server(kNeverReads);
  auto socket = std::make_unique<ChatSocket>();
  connect_to(*socket, server);
  std::string bytes(kUnsendable, 'q');
  ChatSocketTestSeam(*socket).put_data(bytes.data(), static_cast<int>(bytes.size()));
  auto start = Clock::now();
  socket.reset();
  EXPECT_LT(Clock::now() - start, ChatSocket::kDrainBound + kDrainSlack);
}

TEST(HostileServer, WaitClosedIsBoundedWhenTheServerNeverCloses) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  socket.put_line("QUIT :bye");
  EXPECT_TRUE(server.wait_for_line("QUIT :bye"));
  auto start = Clock::now();
  EXPECT_FALSE(socket.wait_closed(100ms));
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_FALSE(socket.is_closed());
  EXPECT_EQ(socket.close(), 0);  // nothing queued: closes at once
  EXPECT_TRUE(socket.wait_closed(0ms));
}

}  // namespace
}  // namespace velmora
