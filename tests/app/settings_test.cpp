#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/program_paths.h"
#include "app/settings_exposure.h"
#include "app/settings.h"
#include "app/settings_table.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

TEST(SettingsInteger, Table) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"6667", 6667},  {" 6697", 6697},   {"&H1A0B", 6667}, {"&h1a0b", 6667},
      {"&O17", 15},    {"&B101", 5},      {"abc", 0},       {"", 0},
      {"12abc", 12},   {"-1", -1},        {"&HFFFFFFFF", -1}, {"&H", 0},
      {"&X12", 0},     {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
      {"&B102", 2},    {"   ", 0},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(settings_integer(text), expected) << text;
}

TEST(ParseSettings, DefaultsWhenEmpty) {
  Settings s = parse_settings("");
  EXPECT_EQ(s.server, "irc.libera.chat");
  EXPECT_EQ(s.port, 6667);
  EXPECT_EQ(s.auto_connect, 0);
  EXPECT_EQ(s.channel, "");
}

TEST(ParseSettings, LineRules) {
  Settings s = parse_settings(
      "SERVER=first\r\nSERVER=second\nCHANNEL=#averyveryverylongchannelname123\r"
      "NICK=abcdefghijklmnopq\n\nAUTHPASS=a=b\r\nkey=ignored\nKEY=\nSERVER = x\n"
      "PORT=&H1A0B\nAUTOCONNECT=yes\nDESTROYAFTER=1\nMAXUSERS= 3");
  EXPECT_EQ(s.server, "second");
  EXPECT_EQ(s.channel, "#averyveryverylongchannel");
  EXPECT_EQ(s.nick, "abcdefghijklmnop");
  EXPECT_EQ(s.auth_pass, "a=b");
  EXPECT_EQ(s.key, "");
  EXPECT_EQ(s.port, 6667);
  EXPECT_EQ(s.auto_connect, 0);
  EXPECT_EQ(s.destroy_after, 1);
  EXPECT_EQ(s.max_users, 3);
}

TEST(ParseSettings, ValuesKeepTheirSpaces) {
  Settings s = parse_settings("KEY= secret phrase \nNICK=bob\nREALNAME=Bob B\nUSERNAME=bob b");
  EXPECT_EQ(s.key, " secret phrase ");
  EXPECT_EQ(s.nick, "bob");
  EXPECT_EQ(s.realname, "Bob B");
  EXPECT_EQ(s.username, "bob");  // one word: it goes on the USER line
  EXPECT_EQ(parse_settings("").username, "undefined");
}

TEST(LoadSettings, MissingFileGivesDefaults) {
  test_support::TempFolder dir;
  Settings s = load_settings(dir.file("nothing.ini"));
  EXPECT_EQ(s.server, "irc.libera.chat");
  EXPECT_EQ(s.port, 6667);
}

// Only a regular file is read: a FIFO blocked start-up for ever, a directory read as
// empty settings without a word.
TEST(LoadSettings, AnythingButARegularFileIsRefusedWithoutBlocking) {
  test_support::TempFolder dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.file("folder.ini").c_str(), 0700), 0);
  const struct {
    std::string path;
    std::string said;
  } cases[] = {{dir.file("fifo.ini"), "it is a FIFO"},
               {dir.file("folder.ini"), "it is a directory"},
               {"/dev/null", "it is a device"}};
  for (const auto& c : cases) {
    ::testing::internal::CaptureStderr();
    const Settings s = load_settings(c.path);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.port, 6667) << c.path;
    EXPECT_NE(said.find(c.path), std::string::npos) << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
  }
}

TEST(LoadSettings, ReadsTheFile) {
  test_support::TempFolder dir;
  dir.write("setup.ini", "SERVER=127.0.0.1\r\nPORT=7000\r\nNICK=me\r\n");
  Settings s = load_settings(dir.file("setup.ini"));
  EXPECT_EQ(s.server, "127.0.0.1");
  EXPECT_EQ(s.port, 7000);
  EXPECT_EQ(s.nick, "me");
}

// The table is the one list of settings: each default it quotes reads back as the
// default, and each row reaches a field of its own.
TEST(SettingsTable, DefaultsAgreeAndEveryRowHasItsOwnField) {
  std::vector<Settings> changed;
  for (const SettingRow& row : setting_rows()) {
    if (row.default_text != nullptr) {
      EXPECT_EQ(parse_settings(std::string(row.key) + "=" + row.default_text), Settings{}) << row.key;
    }
    changed.push_back(parse_settings(std::string(row.key) + "=7"));
    EXPECT_NE(changed.back(), Settings{}) << row.key << " changes nothing";
  }
  for (std::size_t i = 0; i < changed.size(); ++i) {
    for (std::size_t j = i + 1; j < changed.size(); ++j) {
      EXPECT_NE(changed[i], changed[j]) << setting_rows()[i].key << " and " << setting_rows()[j].key;
    }
  }
}

// A secret in a file others can read is said once; the same file readable by us only,
// or without a secret, says nothing.
TEST(SettingsExposure, ASecretOthersCanReadIsSaid) {
  test_support::TempFolder dir;
  dir.write("setup.ini", "KEY=pw\n");
  const std::string path = dir.file("setup.ini");
  EXPECT_EQ(settings_exposure_warning(path, load_settings(path)), "");
  ::chmod(path.c_str(), 0644);
  EXPECT_EQ(settings_exposure_warning(path, load_settings(path)),
            "the settings file " + path + " holds the channel passphrase and other users can "
            "read it (chmod 600 " + path + ")");
  EXPECT_EQ(settings_exposure_warning(path, Settings{}), "") << "no secret in it";
}

}  // namespace
}  // namespace velmora
