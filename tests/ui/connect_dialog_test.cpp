#include "ui/connect_dialog.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(DialogCharacters, AllowedAndForbidden) {
  EXPECT_TRUE(has_only_allowed("", kNickCharacters));
  EXPECT_TRUE(has_only_allowed("Bob_[away]|2-x", kNickCharacters));
  EXPECT_FALSE(has_only_allowed("bob.smith", kNickCharacters));
  EXPECT_FALSE(has_only_allowed("J\xE9r\xF4me", kNickCharacters));
  EXPECT_TRUE(has_none_of("#chat", kChannelForbidden));
  for (const char* bad : {"a b", "a,b", "a:b", "a^b", "a\x07" "b"}) {
    EXPECT_FALSE(has_none_of(bad, kChannelForbidden)) << bad;
  }
}

DialogEntries good() { return {"chat", "bob", "irc.test", "6667", "pass", false}; }

// Every setting the faces need to connect at once, except AUTOCONNECT.
Settings complete_settings() {
  Settings s;
  s.nick = "me";
  s.channel = "#c";
  s.key = "k";
  return s;
}

// Both faces start by this rule: the dialog unless every needed setting is there.
TEST(ConnectDialog, StartChoice) {
  Settings ready = complete_settings();
  ready.auto_connect = 1;
  ready.port = 6667;
  EXPECT_EQ(start_choice(ready), StartChoice::Connect);
  const struct {
    const char* what;
    void (*change)(Settings&);
    StartChoice choice;
  } cases[] = {
      {"no nick", [](Settings& s) { s.nick.clear(); }, StartChoice::Dialog},
      {"no channel", [](Settings& s) { s.channel.clear(); }, StartChoice::Dialog},
      {"no key", [](Settings& s) { s.key.clear(); }, StartChoice::Dialog},
      {"no autoconnect", [](Settings& s) { s.auto_connect = 0; }, StartChoice::Dialog},
      {"port out of range", [](Settings& s) { s.port = 70000; }, StartChoice::BadPort},
      {"both", [](Settings& s) { s.port = 0; s.key.clear(); }, StartChoice::Dialog},
  };
  for (const auto& c : cases) {
    Settings s = ready;
    c.change(s);
    EXPECT_EQ(start_choice(s), c.choice) << c.what;
  }
}

TEST(ConnectDialog, ChecksInOrderAndKeepsTheTypedValues) {
  const struct {
    const char* what;
    DialogEntries entries;
    DialogField focus;
    bool cleared;
  } cases[] = {
      {"empty channel", {"", "", "", "0", ""}, DialogField::Channel, false},
      {"empty nick", {"c", "", "", "0", ""}, DialogField::Nick, false},
      {"empty server", {"c", "n", "", "0", ""}, DialogField::Server, false},
      {"port not a number", {"c", "n", "s", "abc", ""}, DialogField::Port, false},
      {"port too big", {"c", "n", "s", "99999", ""}, DialogField::Port, true},
      {"port 65536", {"c", "n", "s", "65536", ""}, DialogField::Port, true},
      {"port negative", {"c", "n", "s", "-1", ""}, DialogField::Port, true},
      {"port 65535", {"c", "n", "s", "65535", ""}, DialogField::None, false},
      {"space in channel", {"a b", "n.x", "s", "1", ""}, DialogField::Channel, true},
      {"colon in channel", {"a:b", "n", "s", "1", ""}, DialogField::Channel, true},
      {"dot in nick", {"c", "n.x", "s", "1", ""}, DialogField::Nick, true},
      {"empty key is fine", {"c", "n", "s", "1", ""}, DialogField::None, false},
  };
  for (const auto& c : cases) {
    Settings settings;
    const DialogVerdict verdict = apply_connect_entries(c.entries, settings);
    EXPECT_EQ(verdict.focus, c.focus) << c.what;
    EXPECT_EQ(verdict.clear_field, c.cleared) << c.what;
    EXPECT_EQ(settings.nick, c.entries.nick) << c.what;
    EXPECT_EQ(settings.server, c.entries.server) << c.what;
  }
}

// A settings file whose PORT is out of range opens the dialog on the port field.
TEST(ConnectDialog, BadPortSettingGetsTheFocusOnceTheRestIsSet) {
  Settings settings = complete_settings();
  settings.port = 99999;
  EXPECT_EQ(dialog_initial_focus(settings), DialogField::Port);
  settings.key.clear();
  EXPECT_EQ(dialog_initial_focus(settings), DialogField::Key);
}

TEST(ConnectDialog, ChannelPrefixAndPort) {
  Settings settings;
  DialogEntries entries = good();
  entries.port = " 6697x";
  ASSERT_TRUE(apply_connect_entries(entries, settings).accepted());
  EXPECT_EQ(settings.channel, "#vmchat");
  EXPECT_EQ(settings.port, 6697);
  entries.channel = "#chat";
  ASSERT_TRUE(apply_connect_entries(entries, settings).accepted());
  EXPECT_EQ(settings.channel, "#chat");
}

TEST(ConnectDialog, RefusedChannelGetsNoPrefix) {
  Settings settings;
  DialogEntries entries = good();
  entries.nick = "b.b";
  EXPECT_FALSE(apply_connect_entries(entries, settings).accepted());
  EXPECT_EQ(settings.channel, "chat");
}

TEST(ConnectDialog, OpeningFieldsAndFocus) {
  Settings settings;
  EXPECT_EQ(dialog_initial_focus(settings), DialogField::Channel);
  settings.channel = "#c";
  EXPECT_EQ(dialog_initial_focus(settings), DialogField::Nick);
  settings.nick = "n";
  EXPECT_EQ(dialog_initial_focus(settings), DialogField::Key);
  settings.key = "k";
  EXPECT_EQ(dialog_initial_focus(settings), DialogField::None);
  settings.port = 7000;
  EXPECT_EQ(dialog_entries_from(settings).port, "7000");
  EXPECT_EQ(input_max_length(settings), 200);
  settings.key.clear();
  EXPECT_EQ(input_max_length(settings), 400);
}

TEST(ConnectDialog, UseTlsStartsCheckedAndThePortFollowsIt) {
  const struct {
    const char* settings;
    bool checked;
    const char* port;
  } cases[] = {
      {"", true, "6697"},                 {"PORT=6697", true, "6697"},
      {"TLS=0", false, "6667"},           {"PORT=7000", false, "7000"},
      {"PORT=7000\nTLS=1", true, "7000"}, {"PORT=6697\nTLS=0", false, "6697"},
  };
  for (const auto& c : cases) {
    const DialogEntries shown = dialog_entries_from(parse_settings(c.settings));
    EXPECT_EQ(shown.use_tls, c.checked) << c.settings;
    EXPECT_EQ(shown.port, c.port) << c.settings;
  }
  EXPECT_EQ(port_after_tls_toggle("6697", false), "6667");
  EXPECT_EQ(port_after_tls_toggle("6667", true), "6697");
  EXPECT_EQ(port_after_tls_toggle("", true), "6697");
  EXPECT_EQ(port_after_tls_toggle("7000", false), "7000") << "a chosen port stays";

  Settings settings;
  DialogEntries entries = good();
  entries.use_tls = false;
  ASSERT_TRUE(apply_connect_entries(entries, settings).accepted());
  EXPECT_FALSE(uses_tls(settings)) << "unchecked means plain, even on 6697";
}

TEST(ConnectDialog, TerminalPortDecidesAsASettingsFileWould) {
  const Settings fresh;
  const DialogEntries shown = dialog_entries_from(fresh);
  EXPECT_TRUE(tls_for_typed_port(fresh, shown, "6697"));
  EXPECT_FALSE(tls_for_typed_port(fresh, shown, "6667"));
  EXPECT_FALSE(tls_for_typed_port(fresh, shown, "7000"));
  const Settings forced = parse_settings("TLS=1\nPORT=7000");
  EXPECT_TRUE(tls_for_typed_port(forced, dialog_entries_from(forced), "7001"));
}

}  // namespace
}  // namespace velmora
