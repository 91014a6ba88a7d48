// ChatSocket against small servers on 127.0.0.1: buffers, lines, connecting and closing.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <future>
#include <thread>

#include "net/chat_socket.h"
#include "net/chat_socket_test_seam.h"
#include "tests/support/eventually.h"
#include "tests/support/scripted_server.h"
#include "tests/support/unserved_ports.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::RefusingPort;
using test_support::ScriptedServer;

void connect_to(ChatSocket& socket, ScriptedServer& server) {
  EXPECT_EQ(socket.connect("127.0.0.1", server.port()), 0);
  EXPECT_TRUE(server.wait_for_client());
}

TEST(ChatSocket, NewObjectIsClosedAndEmpty) {
  ChatSocket socket;
  EXPECT_TRUE(socket.is_closed());
  EXPECT_EQ(socket.length(), 0u);
  EXPECT_EQ(socket.get_until("\r\n"), "");
  EXPECT_TRUE(socket.wait_closed(0ms));
  EXPECT_FALSE(socket.wait_for_data(0ms));
  EXPECT_EQ(socket.recv_capacity(), 4096u);
  EXPECT_EQ(socket.send_capacity(), 4096u);
  EXPECT_EQ(socket.close(), 0);
}

TEST(ChatSocket, GetDataIsAllOrNothingAndPeekKeepsBytes) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all("abcdef"));
  ASSERT_TRUE(eventually([&] { return socket.length() == 6; }));

  char out[8] = {};
  EXPECT_EQ(socket.get_data(out, 7, false), 0);
  EXPECT_EQ(socket.get_data(out, 0, false), 0);
  EXPECT_EQ(socket.length(), 6u);
  EXPECT_EQ(socket.get_data(out, 3, true), 3);
  EXPECT_EQ(std::string(out, 3), "abc");
  EXPECT_EQ(socket.length(), 6u);
  EXPECT_EQ(socket.get_data(out, 3, false), 3);
  EXPECT_EQ(std::string(out, 3), "abc");
  EXPECT_FALSE(ChatSocketTestSeam(socket).discard(4));
  EXPECT_TRUE(ChatSocketTestSeam(socket).discard(1));
  EXPECT_EQ(socket.get_data(out, 2, false), 2);
  EXPECT_EQ(std::string(out, 2), "ef");
  EXPECT_EQ(socket.length(), 0u);
}

TEST(ChatSocket, GetWaitsForTheRestAndReportsWhatItCopied) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all("ab"));
  ASSERT_TRUE(eventually([&] { return socket.length() == 2; }));

  char out[4] = {};
  int count = 4;
  EXPECT_EQ(ChatSocketTestSeam(socket).get(out, count, -1, true), 0);  // one try
  EXPECT_EQ(count, 2);

  // A peek that sees the bytes arrive in two parts must not copy the first part twice.
  auto peeked = std::async(std::launch::async, [&] {
    int n = 4;
    int result = ChatSocketTestSeam(socket).get(out, n, 2000, true);
    return std::make_pair(result, n);
  });
  std::this_thread::sleep_for(30ms);
  ASSERT_TRUE(server.send_all("cd"));
  EXPECT_EQ(peeked.get(), std::make_pair(4, 4));
  EXPECT_EQ(std::string(out, 4), "abcd");
  EXPECT_EQ(socket.length(), 4u);

  count = 6;
  char more[6] = {};
  EXPECT_EQ(ChatSocketTestSeam(socket).get(more, count, 50, false), 0);  // times out with 4 of 6
  EXPECT_EQ(count, 4);
  EXPECT_EQ(std::string(more, 4), "abcd");
  EXPECT_EQ(socket.length(), 0u);
}

// A host that never answers: connect waits (bounded), and an owner going away cuts the
// wait short instead of hanging for the kernel's two minutes.
TEST(ChatSocket, ConnectToASilentHostCanBeAborted) {
  test_support::SilentPort silent;
  ChatSocket socket;
  auto result = std::async(std::launch::async, [&] { return socket.connect("127.0.0.1", silent.port()); });
  EXPECT_EQ(result.wait_for(200ms), std::future_status::timeout) << "a silent host is not a refusal";
  socket.abort_connect();
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(result.get(), 3);
  EXPECT_TRUE(socket.is_closed());
  EXPECT_EQ(socket.connect("127.0.0.1", silent.port()), 3) << "aborted for good";
}

TEST(ChatSocket, EmptyPutsQueueNothingOrOnlyLineEnd) {
  ChatSocket socket;
  EXPECT_EQ(ChatSocketTestSeam(socket).put_data("x", 0), 0);
  EXPECT_EQ(ChatSocketTestSeam(socket).put_data("x", -1), 0);
  EXPECT_EQ(socket.queued(), 0u);
  EXPECT_TRUE(socket.put_line(""));
  EXPECT_EQ(socket.queued(), 2u);

  ScriptedServer server;
  connect_to(socket, server);
  ASSERT_TRUE(server.wait_for_received(2));
  EXPECT_EQ(server.received(), "\r\n");
}

TEST(ChatSocket, OutputQueuedWhileClosedLeavesAfterConnect) {
  ChatSocket socket;
  socket.put_line("NICK early");
  std::string big(10000, 'b');  // beyond the first block: it must grow, not lose bytes
  socket.put_line(big);
  EXPECT_EQ(socket.send_capacity(), 10000u + 2 + 12);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(socket.queued(), 10014u);

  ScriptedServer server;
  connect_to(socket, server);
  ASSERT_TRUE(server.wait_for_received(12 + 10002));
  EXPECT_EQ(server.received(), "NICK early\r\n" + big + "\r\n");
  EXPECT_TRUE(eventually([&] { return socket.queued() == 0; }));
}

TEST(ChatSocket, TwoLinesInOneReceiptComeOutOneByOne) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all("one\r\ntwo\r\n"));
  EXPECT_EQ(socket.get_until("\r\n"), "one\r\n");
  EXPECT_EQ(socket.length(), 5u);
  EXPECT_EQ(socket.get_until("\r\n"), "two\r\n");
  EXPECT_EQ(socket.length(), 0u);
}

TEST(ChatSocket, DelimiterSplitAcrossReceiptsIsFound) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all("abc\r"));
  ASSERT_TRUE(eventually([&] { return socket.length() == 4; }));
  auto line = std::async(std::launch::async, [&] { return socket.get_until("\r\n"); });
  // Once the waiting bytes are taken, the LF can only come in a later receipt.
  ASSERT_TRUE(eventually([&] { return socket.length() == 0; }));
  ASSERT_TRUE(server.send_all("\ndef"));
  EXPECT_EQ(line.get(), "abc\r\n");
  ASSERT_TRUE(eventually([&] { return socket.length() == 3; }));
}

TEST(ChatSocket, ConnectionClosedMidLineGivesThePartialLine) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all("abc"));
  server.close_client();
  EXPECT_EQ(socket.get_until("\r\n"), "abc");
  EXPECT_EQ(socket.length(), 0u);
  EXPECT_TRUE(socket.wait_closed(2000ms));
  EXPECT_EQ(socket.get_until("\r\n"), "");
}

TEST(ChatSocket, BytesReceivedBeforeTheServerClosedStayReadable) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all("PING :a\r\nPING :b\r\n"));
  server.close_client();
  ASSERT_TRUE(socket.wait_closed(2000ms));
  EXPECT_EQ(socket.get_until("\r\n"), "PING :a\r\n");
  EXPECT_EQ(socket.get_until("\r\n"), "PING :b\r\n");
  EXPECT_EQ(socket.get_until("\r\n"), "");
}

TEST(ChatSocket, ConnectResultCodes) {
  ScriptedServer server;
  RefusingPort refusing;
  struct Case {
    std::string host;
    int port;
    int code;
  };
  const Case cases[] = {
      {"127.0.0.1", server.port(), 0},
      {"http://127.0.0.1/path/more", server.port(), 0},
      {"http://http://localhost/", server.port(), 0},
      {"localhost", server.port(), 0},
      {"127.0.0.1", server.port() + 65536, 0},  // only the low 16 bits count
      {"127.0.0.1", refusing.port(), 3},
      {"", server.port(), 2},
      {"http:///x", server.port(), 2},
  };
  int connected = 0;
  for (const Case& c : cases) {
    ChatSocket socket;
    EXPECT_EQ(socket.connect(c.host, c.port), c.code) << c.host;
    EXPECT_EQ(socket.is_closed(), c.code != 0) << c.host;
    if (c.code == 0) {
      EXPECT_TRUE(server.wait_for_clients(++connected)) << c.host;
    }
  }
}

TEST(ChatSocket, ReceiveBlockGrowsExactlyToWhatIsWaiting) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all(std::string(10000, 'r')));
  ASSERT_TRUE(eventually([&] { return socket.length() == 10000; }));
  EXPECT_EQ(socket.recv_capacity(), 10000u);
}

TEST(ChatSocket, DestructionSendsQueuedOutputFirst) {
  ScriptedServer server;
  {
    ChatSocket socket;
    connect_to(socket, server);
    socket.put_line("QUIT :bye");
  }
  EXPECT_TRUE(server.wait_for_line("QUIT :bye"));
  EXPECT_TRUE(server.wait_client_closed());
}

TEST(ChatSocket, ReconnectsOnTheSameObject) {
  ScriptedServer server;
  ChatSocket socket;
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(socket.connect("127.0.0.1", server.port()), 0);
    ASSERT_TRUE(server.wait_for_clients(round + 1));
    std::string tag = std::to_string(round);
    socket.put_line("hello " + tag);
    EXPECT_TRUE(server.wait_for_line("hello " + tag));
    ASSERT_TRUE(server.send_all("welcome " + tag + "\r\n"));
    EXPECT_EQ(socket.get_until("\r\n"), "welcome " + tag + "\r\n");
    EXPECT_EQ(socket.close(), 0);
    EXPECT_TRUE(socket.is_closed());
    EXPECT_TRUE(server.wait_client_closed());
  }
}

TEST(ChatSocket, CloseWakesAReaderWaitingForALine) {
  ScriptedServer server;  // never sends nor closes
  ChatSocket socket;
  connect_to(socket, server);
  auto line = std::async(std::launch::async, [&] { return socket.get_until("\r\n"); });
  EXPECT_FALSE(socket.wait_closed(50ms));
  EXPECT_EQ(socket.close(), 0);
  ASSERT_EQ(line.wait_for(2000ms), std::future_status::ready);
  EXPECT_EQ(line.get(), "");
  EXPECT_TRUE(server.wait_client_closed());
}

TEST(ChatSocket, ResetByServerClosesTheObject) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  server.reset_client();
  socket.put_line("PRIVMSG #c :lost");
  EXPECT_TRUE(socket.wait_closed(2000ms));
}

// Both workers block while the connection is idle; polling would show as hundreds of
// context switches over this span.
TEST(ChatSocket, IdleConnectionCausesNoWakeUps) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  std::this_thread::sleep_for(20ms);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  std::this_thread::sleep_for(300ms);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_nvcsw - before.ru_nvcsw, 30);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// Burst reads take what get_until would return, line by line, and nothing else: no
// partial line, no more than asked, and a line too long for them stays for get_until.
TEST(ChatSocketBurst, TakeLinesLeavesPartialAndOverlongLinesToGetUntil) {
  ScriptedServer server;
  ChatSocket socket;
  connect_to(socket, server);
  ASSERT_TRUE(server.send_all("one\r\ntwo\r\n\r\nthree\r\npar"));
  ASSERT_TRUE(socket.wait_for_data(std::chrono::seconds(2)));
  ASSERT_TRUE(eventually([&] { return socket.length() >= 22; }));
  std::vector<std::string> lines;
  EXPECT_EQ(socket.take_lines("\r\n", lines, 2), 2u);
  EXPECT_EQ(socket.take_lines("\r\n", lines, 10), 2u);
  EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n", "\r\n", "three\r\n"}));
  EXPECT_EQ(socket.take_lines("\r\n", lines, 10), 0u);  // "par" has no end yet
  EXPECT_EQ(socket.length(), 3u);

  const std::string huge(ChatSocket::kMaxLine + 10, 'x');
  ASSERT_TRUE(server.send_all("t\r\n" + huge + "\r\nafter\r\n"));
  EXPECT_EQ(socket.get_until("\r\n"), "part\r\n");
  ASSERT_TRUE(eventually([&] { return socket.length() >= huge.size() + 9; }));
  lines.clear();
  EXPECT_EQ(socket.take_lines("\r\n", lines, 10), 0u);
  EXPECT_EQ(socket.get_until("\r\n"), huge.substr(0, ChatSocket::kMaxLine) + "\r\n");
  EXPECT_EQ(socket.take_lines("\r\n", lines, 10), 1u);
  EXPECT_EQ(lines, std::vector<std::string>{"after\r\n"});
}

}  // namespace
}  // namespace velmora
