// The real build/velmora on a private Xvfb, against a scripted server on 127.0.0.1,
// driven with xdotool. Each run leaves a screenshot in this test's build folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/gtk/close_window.h"
#include "tests/gtk/xvfb_display.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test_support::ScriptedServer;
using test_support::TempFolder;

// Output of a shell command (xdotool), trimmed of its line end.
std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The first window whose title matches exactly, waiting at most 10 s; 0 when none.
unsigned long find_window(const std::string& title) {
  const std::string id = run("timeout 10 xdotool search --sync --onlyvisible --name '^" + title + "$' 2>/dev/null | head -1");
  return id.empty() ? 0 : std::stoul(id);
}

class ProgramTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(xvfb_.start()) << xvfb_.error(); }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    xvfb_.stop();
  }

  void start_program(const std::string& settings) {
    folder_.write("settings.ini", settings);
    const std::string out = folder_.file("velmora.out");
    pid_ = fork();
    if (pid_ == 0) {
      if (freopen(out.c_str(), "w", stdout) == nullptr || freopen(out.c_str(), "a", stderr) == nullptr)
        _exit(126);
      execl(VELMORA_BINARY, VELMORA_BINARY, folder_.file("settings.ini").c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }

  // Exit status of the program, or -1 when it is still running after `bound`.
  int wait_exit(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(20ms);
    }
    return -1;
  }

  void screenshot(const std::string& name) {
    // Only to look at afterwards: without ImageMagick's import there is none.
    (void)!std::system(("import -window root " + name + ".png 2>/dev/null").c_str());
  }

  // The names list shows only this client, so it makes the channel key itself. The
  // JOIN waits for the welcome.
  void welcome_alone(const std::string& nick, const std::string& channel) {
    ASSERT_TRUE(server_.wait_for_line("NICK " + nick, 10s)) << folder_.read("velmora.out");
    server_.send_line(":irc.test 001 " + nick + " :Welcome to the scripted server");
    ASSERT_TRUE(server_.wait_for_line("JOIN " + channel, 10s)) << folder_.read("velmora.out");
    server_.send_line(":" + nick + "!u@127.0.0.1 JOIN " + channel);
    server_.send_line(":irc.test 353 " + nick + " = " + channel + " :" + nick);
    server_.send_line(":irc.test 366 " + nick + " " + channel + " :End of NAMES list");
  }

  bool wait_for_line_starting(const std::string& prefix, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
      for (const std::string& line : server_.lines()) {
        if (line.rfind(prefix, 0) == 0) return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  test_support::XvfbDisplay xvfb_;
  ScriptedServer server_{":irc.test NOTICE * :*** Looking up your hostname\r\n"};
  TempFolder folder_;
  pid_t pid_ = -1;
};

TEST_F(ProgramTest, AutoConnectSealsTypedLineAndQuitsOnClose) {
  start_program("SERVER=127.0.0.1\nPORT=" + std::to_string(server_.port()) +
                "\nCHANNEL=#chan\nNICK=tester\nKEY=secret\nAUTOCONNECT=1\n");
  welcome_alone("tester", "#chan");
  const unsigned long window = find_window("#chan, 127.0.0.1 - Velmora");
  ASSERT_NE(window, 0u) << folder_.read("velmora.out");

  // Alone in the channel, the client makes the key; the input line then opens with the
  // focus at the window's next tick.
  std::this_thread::sleep_for(1s);
  run("xdotool windowfocus --sync " + std::to_string(window));
  run("xdotool type --delay 5 'hello over there :)'; xdotool key Return");
  EXPECT_TRUE(wait_for_line_starting("PRIVMSG #chan :@CRYPTO ", 5s));
  for (const std::string& line : server_.lines()) {
    EXPECT_EQ(line.find("hello over there"), std::string::npos) << "sent in clear: " << line;
  }
  screenshot("program_autoconnect");

  ASSERT_TRUE(test_support::close_window(window));
  EXPECT_TRUE(server_.wait_for_line("QUIT", 5s));
  server_.close_client();
  EXPECT_EQ(wait_exit(10s), 0);
}

// Closing the window or SIGTERM: QUIT goes out and the program has ended within 1.5 s,
// though the server keeps the connection open.
class QuitTest : public ProgramTest, public ::testing::WithParamInterface<bool> {};

TEST_P(QuitTest, PromptWhenTheServerNeverCloses) {
  const bool by_signal = GetParam();
  start_program("SERVER=127.0.0.1\nPORT=" + std::to_string(server_.port()) +
                "\nCHANNEL=#chan\nNICK=tester\nKEY=secret\nAUTOCONNECT=1\n");
  welcome_alone("tester", "#chan");
  const unsigned long window = find_window("#chan, 127.0.0.1 - Velmora");
  ASSERT_NE(window, 0u) << folder_.read("velmora.out");
  std::this_thread::sleep_for(1s);  // connected and in the channel
  const auto start = std::chrono::steady_clock::now();
  if (by_signal) {
    ASSERT_EQ(kill(pid_, SIGTERM), 0);
  } else {
    ASSERT_TRUE(test_support::close_window(window));
  }
  EXPECT_EQ(wait_exit(10s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1800ms);
  EXPECT_TRUE(server_.wait_for_line("QUIT", 1s));
}

INSTANTIATE_TEST_SUITE_P(CloseOrSigterm, QuitTest, ::testing::Bool());

TEST_F(ProgramTest, DialogFilledInWithTheKeyboardConnects) {
  start_program("PORT=" + std::to_string(server_.port()) + "\n");
  const unsigned long dialog = find_window("Connect - Velmora");
  ASSERT_NE(dialog, 0u) << folder_.read("velmora.out");
  run("xdotool windowfocus --sync " + std::to_string(dialog));
  // The channel field has the focus; Tab moves on and selects the next field's text.
  run("xdotool type --delay 5 chan; xdotool key Tab; xdotool type --delay 5 tester;"
      "xdotool key Tab; xdotool type --delay 5 127.0.0.1; xdotool key Tab Tab;"
      "xdotool type --delay 5 secret");
  screenshot("program_dialog");
  run("xdotool key Return");
  EXPECT_TRUE(server_.wait_for_line("NICK tester", 10s)) << folder_.read("velmora.out");
  welcome_alone("tester", "#vmchan");
  EXPECT_NE(find_window("#vmchan, 127.0.0.1 - Velmora"), 0u);
  screenshot("program_dialog_connected");

  ASSERT_TRUE(test_support::close_window(find_window("#vmchan, 127.0.0.1 - Velmora")));
  EXPECT_TRUE(server_.wait_for_line("QUIT", 5s));
  server_.close_client();
  EXPECT_EQ(wait_exit(10s), 0);
}

TEST_F(ProgramTest, ClosingTheDialogEndsTheProgramWithoutConnecting) {
  start_program("PORT=" + std::to_string(server_.port()) + "\nSERVER=127.0.0.1\n");
  const unsigned long dialog = find_window("Connect - Velmora");
  ASSERT_NE(dialog, 0u);
  ASSERT_TRUE(test_support::close_window(dialog));
  EXPECT_EQ(wait_exit(5s), 0);
  EXPECT_EQ(server_.clients_accepted(), 0);
}

TEST_F(ProgramTest, IncompleteLayoutIsNamedAndExitsWithStatusOne) {
  // A copy of the program beside a layout without the status bar.
  const std::string copy = folder_.file("velmora");
  ASSERT_EQ(std::system(("cp " VELMORA_BINARY " " + copy).c_str()), 0);
  ASSERT_EQ(std::system(("sed 's/id=\"statusbar1\"/id=\"gone\"/' " VELMORA_DATA_DIR "/gui.glade > " +
                         folder_.file("gui.glade")).c_str()),
            0);
  const std::string output = run(copy + " /nonexistent.ini 2>&1; echo \"status=$?\"");
  EXPECT_NE(output.find(folder_.file("gui.glade")), std::string::npos) << output;
  EXPECT_NE(output.find("\"statusbar1\""), std::string::npos) << output;
  EXPECT_NE(output.find("status=1"), std::string::npos) << output;
}

}  // namespace
}  // namespace velmora
