// Clients in one process, each a whole AppState with its own connection to a real IRC
// server: the first alone makes the channel key, later ones obtain it through the
// server, and every client opens the others' sealed lines.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "tests/support/hybrid_server.h"
#include "tests/support/inspircd_server.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/raw_client.h"
#include "tests/support/skip_without.h"
#include "tests/support/temp_folder.h"
#include "tests/support/eventually.h"
#include "tests/exchange_ngircd/channel_client.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::NgircdServer;
using test_support::TempFolder;

using test_support::Client;

TEST(ExchangeThroughServer, JoinerObtainsTheKeyAndBothReadEachOther) {
  NgircdServer server;
  ASSERT_TRUE(server.running());

  Client alice(server.port(), "alice", "open sesame");
  ASSERT_TRUE(alice.state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice.holds_key(); })) << "alone, alice makes the key";
  std::string key = alice.state().security().channel_key();
  EXPECT_EQ(key.size(), 56u);

  Client bob(server.port(), "bob", "open sesame");
  ASSERT_TRUE(bob.state().start_connection());
  ASSERT_TRUE(eventually([&] { return bob.holds_key(); })) << "bob obtains the key";
  EXPECT_EQ(bob.state().security().channel_key(), key);
  EXPECT_TRUE(eventually([&] { return alice.sees_holder("bob"); }))
      << "bob's announcement marks him on alice's side";
  EXPECT_TRUE(bob.sees_holder("alice"));

  alice.say("hello bob :)");
  EXPECT_TRUE(bob.wait_for_text("hello bob :)"));
  // A long line goes out in several sealed pieces; opened in order they give it back.
  std::string long_line = "  spaces kept  ";
  for (int i = 0; i < 150; ++i) long_line += "word" + std::to_string(i) + " ";
  bob.say(long_line);
  std::string joined;
  EXPECT_TRUE(eventually([&] {
    for (const std::string& t : alice.take_chat_texts()) joined += t;
    return joined.size() >= long_line.size();
  }));
  EXPECT_EQ(joined, long_line);
}

TEST(ExchangeThroughServer, WrongPassphraseNeverGetsTheKey) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "right");
  ASSERT_TRUE(alice.state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice.holds_key(); }));

  Client mallory(server.port(), "mallory", "wrong");
  ASSERT_TRUE(mallory.state().start_connection());
  EXPECT_TRUE(eventually([&] {
    return mallory.state().status_text() ==
           "alice has cancelled the key exchange as your authentication keys do not match!";
  }));
  EXPECT_FALSE(mallory.holds_key());
  EXPECT_TRUE(mallory.state().security().channel_key().empty());
}

TEST(ExchangeThroughServer, ThirdClientGetsAKeyWhenTheFirstHolderQuits) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  auto alice = std::make_unique<Client>(server.port(), "alice", "pass");
  ASSERT_TRUE(alice->state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice->holds_key(); }));
  Client bob(server.port(), "bob", "pass");
  ASSERT_TRUE(bob.state().start_connection());
  ASSERT_TRUE(eventually([&] { return bob.holds_key(); }));

  // Carol joins and alice goes away at once: whichever holder answered, or was asked
  // and left before answering, carol must end up with the channel's key.
  Client carol(server.port(), "carol", "pass");
  ASSERT_TRUE(carol.state().start_connection());
  alice.reset();
  ASSERT_TRUE(eventually([&] { return carol.holds_key(); }, 15s));
  // Bob still holds the key, so carol's key is the channel's, not one of her own.
  EXPECT_EQ(carol.state().security().channel_key(), bob.state().security().channel_key());
  carol.say("still private");
  EXPECT_TRUE(bob.wait_for_text("still private"));
}

using test_support::RawClient;

// Mallory is in the channel without the passphrase: she welcomes the newcomer first
// and answers its request with made-up keys, over and over. The newcomer must end up
// with alice's key all the same.
TEST(ExchangeThroughServer, AMemberWithoutThePassphraseCannotPlantAKey) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "pass");
  ASSERT_TRUE(alice.state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice.holds_key(); }));
  RawClient mallory(server.port(), "mallory");
  ASSERT_TRUE(mallory.connected());
  mallory.say("JOIN #room");
  std::this_thread::sleep_for(300ms);  // in the channel before bob comes

  Client bob(server.port(), "bob", "pass");
  ASSERT_TRUE(bob.state().start_connection());
  std::mt19937 random(7);
  for (int i = 0; i < 300 && !bob.holds_key(); ++i) {
    std::string key_text(144, '0');
    for (char& digit : key_text) digit = "0123456789ABCDEF"[random() % 16];
    mallory.say("PRIVMSG bob :@AUTHENTICATED\r\nPRIVMSG bob :@XPUBLIC 2\r\nPRIVMSG bob :@XKEY " +
                key_text);
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(eventually([&] { return bob.holds_key(); }, 15s));
  EXPECT_EQ(bob.state().security().channel_key(), alice.state().security().channel_key());
}

// A plain IRC user sits in the channel first, so no Velmora client is ever alone in it.
// Clients that come together, or one after another, still end up on one key.
TEST(ExchangeThroughServer, WithAnOrdinaryUserInTheChannelEveryoneGetsOneKey) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  RawClient lurker(server.port(), "lurker");
  ASSERT_TRUE(lurker.connected());
  lurker.say("JOIN #room");
  std::this_thread::sleep_for(300ms);
  int run = 0;
  for (const int together : {1, 2, 2, 10}) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < together; ++i) {
      clients.push_back(std::make_unique<Client>(
          server.port(), "c" + std::to_string(run) + "x" + std::to_string(i), "pass"));
    }
    for (auto& c : clients) ASSERT_TRUE(c->state().start_connection());
    for (auto& c : clients) {
      ASSERT_TRUE(eventually([&] { return c->holds_key(); }, 20s))
          << c->nick() << ": " << c->state().status_text() << "\n" << c->state().take_raw_log();
    }
    if (together == 1) {  // and one more after the first holds the key
      clients.push_back(std::make_unique<Client>(server.port(), "late", "pass"));
      ASSERT_TRUE(clients.back()->state().start_connection());
      ASSERT_TRUE(eventually([&] { return clients.back()->holds_key(); }, 20s));
    }
    // Every key agrees, and every client reads every other's lines.
    ASSERT_TRUE(eventually([&] {
      for (auto& c : clients) {
        if (c->state().security().channel_key() != clients[0]->state().security().channel_key())
          return false;
      }
      return true;
    }, 20s)) << together << " together";
    for (auto& from : clients) from->say("from " + from->nick());
    for (auto& to : clients) {
      for (auto& from : clients) {
        if (to != from) {
          EXPECT_TRUE(to->wait_for_text("from " + from->nick()));
        }
      }
    }
    ++run;
  }
}

// A nick that is taken at login: the client registers as nick_, joins and gets the
// key under the nick the server gave it; a full channel is refused in words.
TEST(ExchangeThroughServer, TakenNickAndFullChannel) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client first(server.port(), "alice", "pass");
  ASSERT_TRUE(first.state().start_connection());
  ASSERT_TRUE(eventually([&] { return first.holds_key(); }));
  Client second(server.port(), "alice", "pass");
  ASSERT_TRUE(second.state().start_connection());
  ASSERT_TRUE(eventually([&] { return second.holds_key(); }));
  EXPECT_EQ(second.state().current_nick(), "alice_");
  EXPECT_EQ(second.state().security().channel_key(), first.state().security().channel_key());

  RawClient op(server.port(), "op");
  op.say("JOIN #full\r\nMODE #full +l 1");
  std::this_thread::sleep_for(300ms);
  TempFolder folder;
  folder.write("setup.ini", "SERVER=127.0.0.1\nPORT=" + std::to_string(server.port()) +
                                "\nCHANNEL=#full\nNICK=late\nKEY=pass\n");
  AppState late(folder.path(), folder.file("setup.ini"));
  ASSERT_TRUE(late.start_connection());
  // In the server's words: ngircd says 471 for a channel of registered users too.
  const std::string refusal = "Cannot join #full: Cannot join channel (+l) -- Channel is full, try later";
  EXPECT_TRUE(eventually([&] { return late.status_text() == refusal; })) << late.status_text();
}

// The server restarts under two connected clients: both come back by themselves,
// keep the key and read each other again within 15 s of the server's return.
TEST(ExchangeThroughServer, BothClientsComeBackAfterAServerRestart) {
  NgircdServer server;
  ASSERT_TRUE(server.running());
  Client alice(server.port(), "alice", "pass");
  ASSERT_TRUE(alice.state().start_connection());
  ASSERT_TRUE(eventually([&] { return alice.holds_key(); }));
  Client bob(server.port(), "bob", "pass");
  ASSERT_TRUE(bob.state().start_connection());
  ASSERT_TRUE(eventually([&] { return bob.holds_key(); }));
  const std::string key = alice.state().security().channel_key();

  ASSERT_TRUE(server.restart());
  const auto both_back = [&] {
    for (Client* c : {&alice, &bob}) {
      if (c->state().connection().is_closed() || c->state().channel_users().size() != 2) return false;
    }
    return true;
  };
  ASSERT_TRUE(eventually(both_back, 15s));
  EXPECT_EQ(bob.state().security().channel_key(), key);
  alice.say("back again");
  EXPECT_TRUE(bob.wait_for_text("back again"));
}

// Connects `client` and waits until it holds a key: its own when alone, else obtained.
void connect_and_hold_key(Client& client) {
  ASSERT_TRUE(client.state().start_connection());
  ASSERT_TRUE(eventually([&] { return client.holds_key(); }, 10s))
      << client.nick() << ": " << client.state().status_text();
}

// Alice makes the key, bob obtains it through `server`, and bob reads alice's line.
void share_the_key_and_chat(const test_support::LocalServer& server) {
  Client alice(server.port(), "alice", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(alice));
  Client bob(server.port(), "bob", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(bob));
  EXPECT_EQ(bob.state().security().channel_key(), alice.state().security().channel_key());
  alice.say("through the server");
  EXPECT_TRUE(bob.wait_for_text("through the server"));
  EXPECT_FALSE(alice.state().connection().is_closed());
}

// InspIRCd refuses a JOIN sent before registration ends: the clients join once
// welcomed, share the key and read each other, at that server's flood limits.
TEST(ExchangeThroughServer, InspircdLetsUsInAndTheKeyIsShared) {
  test_support::InspircdServer server;
  ASSERT_TRUE(server.running());
  share_the_key_and_chat(server);
}

// ircd-hybrid at Debian's flood limits.
TEST(ExchangeThroughServer, HybridLetsUsInAndTheKeyIsShared) {
  VELMORA_SKIP_WITHOUT(test_support::HybridServer::missing());
  test_support::HybridServer server;
  ASSERT_TRUE(server.running()) << server.log();
  share_the_key_and_chat(server);
}

// Alice types twenty long lines at once while carol joins and the key exchange runs.
// ircd-hybrid takes a client's lines five at once, then two a second, and closes a
// connection with more than 2560 bytes waiting ("Excess Flood"). Paced, nobody is
// disconnected and bob reads every line in the order typed.
TEST(ExchangeThroughServer, HybridTakesATypedBurstDuringAKeyExchange) {
  VELMORA_SKIP_WITHOUT(test_support::HybridServer::missing());
  test_support::HybridServer server;
  ASSERT_TRUE(server.running()) << server.log();
  Client alice(server.port(), "alice", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(alice));
  Client bob(server.port(), "bob", "pass");
  ASSERT_NO_FATAL_FAILURE(connect_and_hold_key(bob));

  Client carol(server.port(), "carol", "pass");
  ASSERT_TRUE(carol.state().start_connection());
  std::vector<std::string> typed;
  // Sealed, each is one message of 345 bytes; sent at once, hybrid would close us.
  for (int i = 0; i < 20; ++i) typed.push_back("line " + std::to_string(i) + std::string(140, '.'));
  for (const std::string& line : typed) alice.say(line);
  std::vector<std::string> read;
  EXPECT_TRUE(eventually([&] {
    for (std::string& t : bob.take_chat_texts())
      if (t.starts_with("line ")) read.push_back(t);
    return read.size() >= typed.size();
  }, 40s)) << read.size() << " lines read\n" << alice.state().take_raw_log();
  EXPECT_EQ(read, typed);
  EXPECT_TRUE(eventually([&] { return carol.holds_key(); }, 20s)) << carol.state().status_text();
  for (Client* c : {&alice, &bob, &carol}) EXPECT_FALSE(c->state().connection().is_closed()) << c->nick();
}

}  // namespace
}  // namespace velmora
