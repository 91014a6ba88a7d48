// The window's rules through the real GTK face: a fake session stands for the
// connection, the widgets are the real ones from gui.glade.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>


#include "tests/gtk/xvfb_display.h"
#include "tests/ui/fake_session.h"
#include "ui/gtk/gtk_face.h"
#include "ui/gtk/privacy_icons.h"

namespace velmora {
namespace {

const std::string kData = VELMORA_DATA_DIR;

class FaceTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { test_support::ensure_gtk_display(); }

  void SetUp() override {
    LayoutResult layout = load_main_widgets(kData + "/gui.glade");
    ASSERT_TRUE(layout.ok()) << layout.error;
    w_ = layout.widgets;
    face_ = std::make_unique<GtkFace>(
        session_,
        SettingsAccess{[this] { return settings_; }, [this](const Settings& s) { settings_ = s; }},
        w_, kData);
    set_active_face(face_.get());
    face_->connect_show_signals();
    face_->create_tags();
    // The handlers as the program connects them: by name, from this binary's symbols.
    connect_layout_handlers(w_);
  }
  void TearDown() override {
    set_active_face(nullptr);
    face_.reset();
    for (GtkWidget* top : {w_.window1, w_.window2, w_.dialog1, w_.aboutdialog1}) {
      gtk_widget_destroy(top);
    }
    release_layout(w_);
  }

  GtkTextBuffer* buffer() { return gtk_text_view_get_buffer(GTK_TEXT_VIEW(w_.textview1)); }
  std::string buffer_text() {  // images show as U+FFFC
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer(), &start, &end);
    gchar* text = gtk_text_buffer_get_slice(buffer(), &start, &end, TRUE);
    std::string result = text;
    g_free(text);
    return result;
  }
  bool sensitive(GtkWidget* w) { return gtk_widget_get_sensitive(w); }
  GtkEntry* entry(const char* name) { return GTK_ENTRY(layout_widget(w_, name)); }
  bool has_tag(int offset, const char* name) {
    GtkTextIter at;
    gtk_text_buffer_get_iter_at_offset(buffer(), &at, offset);
    GtkTextTag* tag = gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer()), name);
    return gtk_text_iter_has_tag(&at, tag);
  }

  test_support::FakeSession session_;
  Settings settings_;
  MainWidgets w_;
  std::unique_ptr<GtkFace> face_;
};

TEST_F(FaceTest, FirstWindowNeedsNickChannelKeyAndAutoConnect) {
  struct Case {
    const char* nick;
    const char* channel;
    const char* key;
    int auto_connect;
    bool chat_window;
  };
  const Case cases[] = {
      {"me", "#room", "secret", 1, true},  {"me", "#room", "secret", 0, false},
      {"me", "#room", "", 1, false},       {"", "#room", "secret", 1, false},
      {"me", "", "secret", 1, false},      {"me", "#room", "secret", 2, false},
  };
  for (const Case& c : cases) {
    settings_.nick = c.nick;
    settings_.channel = c.channel;
    settings_.key = c.key;
    settings_.auto_connect = c.auto_connect;
    gtk_widget_hide(w_.window1);
    gtk_widget_hide(w_.window2);
    face_->show_first_window();
    EXPECT_EQ(bool(GTK_WIDGET_VISIBLE(w_.window1)), c.chat_window) << c.nick << c.channel << c.key;
    EXPECT_EQ(bool(GTK_WIDGET_VISIBLE(w_.window2)), !c.chat_window);
  }
}

TEST_F(FaceTest, ChatLineWithEmoticonImageInOneBlock) {
  gtk_widget_show_all(w_.window1);
  session_.hold_key();
  session_.queue = {":bob!u@h PRIVMSG #room :hi :) there",
                    ":bob!u@h PRIVMSG #room :second", ":bob!u@h JOIN #room"};
  for (int i = 0; i < 3; ++i) face_->tick();
  const std::string image = "\xEF\xBF\xBC";  // the object replacement character
  // One empty line opens the block of chat lines, one closes it; each chat line starts
  // with its mark.
  EXPECT_EQ(buffer_text(), "\r\n" + image + " bob  hi " + image + " there\r\n" + image +
                               " bob  second\r\n\r\nbob has joined the channel.\r\n");
  GtkTextIter at;
  gtk_text_buffer_get_iter_at_offset(buffer(), &at, 12);
  GdkPixbuf* face = gtk_text_iter_get_pixbuf(&at);
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(face), 14);
  EXPECT_TRUE(has_tag(4, "bold"));
  EXPECT_TRUE(has_tag(4, "big"));
  EXPECT_FALSE(has_tag(10, "bold"));
}

TEST_F(FaceTest, ControlsOverConnectDropAndFailedConnection) {
  session_.closed = true;
  gtk_widget_show_all(w_.window1);
  EXPECT_TRUE(face_->timer_installed());
  EXPECT_EQ(session_.connections_started, 1);
  EXPECT_FALSE(sensitive(w_.toolbutton1));
  EXPECT_FALSE(sensitive(w_.imagemenuitem1));
  EXPECT_FALSE(sensitive(w_.toolbutton2));
  EXPECT_FALSE(sensitive(w_.imagemenuitem2));
  EXPECT_FALSE(sensitive(w_.entry1));

  // The socket opens: disconnect on, and the input line for commands (chat waits for
  // the channel key).
  session_.closed = false;
  session_.connecting_ = false;
  face_->tick();
  EXPECT_FALSE(sensitive(w_.toolbutton1));
  EXPECT_TRUE(sensitive(w_.toolbutton2));
  EXPECT_TRUE(sensitive(w_.imagemenuitem2));
  EXPECT_TRUE(sensitive(w_.entry1));
  session_.hold_key();
  face_->tick();
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(w_.window1)), w_.entry1);

  // Disconnect greys out at once; connect returns when the server closes.
  gtk_window_set_title(GTK_WINDOW(w_.window1), "#room, irc.test - Velmora");
  on_toolbutton2_clicked(nullptr, nullptr);
  EXPECT_EQ(session_.sent.back(), "quit");
  EXPECT_FALSE(sensitive(w_.toolbutton2));
  EXPECT_FALSE(sensitive(w_.toolbutton1));
  session_.closed = true;
  face_->tick();
  EXPECT_TRUE(sensitive(w_.toolbutton1));
  EXPECT_TRUE(sensitive(w_.imagemenuitem1));
  EXPECT_FALSE(sensitive(w_.toolbutton2));
  EXPECT_TRUE(sensitive(w_.entry1));  // the input line stays as it was
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(w_.window1)), "Velmora");

  // Connect clears the view and greys out; a connection that never opens brings the
  // connect controls back once the connection thread gives up.
  gtk_text_buffer_set_text(buffer(), "old text", -1);
  on_toolbutton1_clicked(nullptr, nullptr);
  EXPECT_EQ(buffer_text(), "");
  EXPECT_EQ(session_.connections_started, 2);
  EXPECT_FALSE(sensitive(w_.toolbutton1));
  EXPECT_FALSE(sensitive(w_.imagemenuitem1));
  EXPECT_FALSE(sensitive(w_.entry1));
  session_.offline = false;  // the thread's last attempt failed
  face_->tick();
  EXPECT_TRUE(sensitive(w_.toolbutton1));
  EXPECT_FALSE(sensitive(w_.toolbutton2));
}

TEST_F(FaceTest, TitleIsShownByTheTick) {
  gtk_widget_show_all(w_.window1);
  session_.title = "#room, 127.0.0.1 - Velmora";
  face_->tick();
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(w_.window1)), "#room, 127.0.0.1 - Velmora");
}

TEST_F(FaceTest, DialogShowsTheSettingsAndFocusesWhatIsMissing) {
  settings_.channel = "#room";
  settings_.nick = "";
  settings_.server = "irc.test";
  settings_.port = 6697;
  gtk_widget_show_all(w_.window2);
  EXPECT_STREQ(gtk_entry_get_text(entry("entry2")), "#room");
  EXPECT_STREQ(gtk_entry_get_text(entry("entry3")), "");
  EXPECT_STREQ(gtk_entry_get_text(entry("entry5")), "irc.test");
  EXPECT_STREQ(gtk_entry_get_text(entry("entry6")), "6697");
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(w_.window2)), GTK_WIDGET(entry("entry3")));
}

TEST_F(FaceTest, UseTlsIsCheckedAtFirstAndThePortFollowsIt) {
  settings_.port = 6667;  // no TLS line
  gtk_widget_show_all(w_.window2);
  GtkToggleButton* use_tls = GTK_TOGGLE_BUTTON(layout_widget(w_, "checkbutton1"));
  EXPECT_TRUE(gtk_toggle_button_get_active(use_tls));
  EXPECT_STREQ(gtk_entry_get_text(entry("entry6")), "6697");
  gtk_toggle_button_set_active(use_tls, FALSE);
  EXPECT_STREQ(gtk_entry_get_text(entry("entry6")), "6667");
  gtk_entry_set_text(entry("entry2"), "#chat");
  gtk_entry_set_text(entry("entry3"), "bob");
  gtk_entry_set_text(entry("entry5"), "h");
  on_button1_clicked(nullptr, nullptr);
  EXPECT_EQ(settings_.port, 6667);
  EXPECT_FALSE(uses_tls(settings_));
}

TEST_F(FaceTest, DialogChecksEachFieldAndPrefixesTheChannel) {
  struct Case {
    const char* channel;
    const char* nick;
    const char* server;
    const char* port;
    const char* focus;  // nullptr: accepted
    bool cleared;
  };
  const Case cases[] = {
      {"", "bob", "h", "6667", "entry2", false},
      {"chat", "", "h", "6667", "entry3", false},
      {"chat", "bob", "", "6667", "entry5", false},
      {"chat", "bob", "h", "abc", "entry6", false},
      {"my chat", "bob", "h", "6667", "entry2", true},
      {"a:b", "bob", "h", "6667", "entry2", true},
      {"chat", "b.o", "h", "6667", "entry3", true},
      {"chat", "Bob_[away]|2", "h", "6667x", nullptr, false},
  };
  gtk_widget_show_all(w_.window2);
  for (const Case& c : cases) {
    gtk_entry_set_text(entry("entry2"), c.channel);
    gtk_entry_set_text(entry("entry3"), c.nick);
    gtk_entry_set_text(entry("entry5"), c.server);
    gtk_entry_set_text(entry("entry6"), c.port);
    gtk_entry_set_text(entry("entry7"), "");
    on_button1_clicked(nullptr, nullptr);
    EXPECT_EQ(settings_.nick, c.nick);  // stored even when refused
    if (c.focus) {
      GtkWidget* focused = gtk_window_get_focus(GTK_WINDOW(w_.window2));
      EXPECT_EQ(focused, layout_widget(w_, c.focus)) << c.channel << "/" << c.nick;
      if (c.cleared) {
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(focused)), "");
      }
      EXPECT_TRUE(GTK_WIDGET_VISIBLE(w_.window2));
      EXPECT_EQ(session_.connections_started, 0);
    }
  }
  EXPECT_EQ(settings_.channel, "#vmchat");
  EXPECT_EQ(settings_.port, 6667);
  EXPECT_FALSE(GTK_WIDGET_VISIBLE(w_.window2));
  EXPECT_TRUE(GTK_WIDGET_VISIBLE(w_.window1));
  EXPECT_EQ(session_.connections_started, 1);
}

TEST_F(FaceTest, InputLineTakes400CharactersWithoutKeyAnd200WithOne) {
  for (const auto& [key, limit] : {std::pair{"", 400}, std::pair{"secret", 200}}) {
    gtk_widget_show_all(w_.window2);
    gtk_entry_set_text(entry("entry2"), "#chat");
    gtk_entry_set_text(entry("entry3"), "bob");
    gtk_entry_set_text(entry("entry5"), "h");
    gtk_entry_set_text(entry("entry6"), "6667");
    gtk_entry_set_text(entry("entry7"), key);
    on_button1_clicked(nullptr, nullptr);
    EXPECT_EQ(gtk_entry_get_max_length(GTK_ENTRY(w_.entry1)), limit) << key;
    gtk_entry_set_text(GTK_ENTRY(w_.entry1), std::string(500, 'x').c_str());
    EXPECT_EQ(gtk_entry_get_text_length(GTK_ENTRY(w_.entry1)), limit);
  }
}

TEST_F(FaceTest, ReturnSendsTheLineAndEmptiesTheEntry) {
  gtk_widget_show_all(w_.window1);
  session_.hold_key();
  face_->tick();
  gtk_entry_set_text(GTK_ENTRY(w_.entry1), "hello :)");
  GdkEventKey key{};
  key.type = GDK_KEY_PRESS;
  key.keyval = GDK_KP_Enter;  // the keypad key is left alone
  EXPECT_FALSE(on_entry1_key_press_event(w_.entry1, &key, nullptr));
  EXPECT_TRUE(session_.sent.empty());
  key.keyval = GDK_Return;
  EXPECT_FALSE(on_entry1_key_press_event(w_.entry1, &key, nullptr));
  ASSERT_EQ(session_.sent.size(), 1u);
  EXPECT_EQ(session_.sent[0], "PRIVMSG #room :@CRYPTO sealed(hello :))");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(w_.entry1)), "");
  EXPECT_EQ(buffer_text(), "\r\n\xEF\xBF\xBC me  hello \xEF\xBF\xBC\r\n");
}

TEST_F(FaceTest, RawTrafficToggleShowsOnlyLaterTraffic) {
  gtk_widget_show_all(w_.window1);
  session_.raw_log = "RECV: before the toggle\r\n";
  face_->tick();
  EXPECT_EQ(buffer_text(), "");
  gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(layout_widget(w_, "toolbutton6")), TRUE);
  session_.raw_log += "SEND: after the toggle\r\n";
  face_->tick();
  EXPECT_EQ(buffer_text(), "SEND: after the toggle\r\n");
  EXPECT_TRUE(has_tag(0, "dark_fg"));
  EXPECT_TRUE(has_tag(0, "lmarg"));
  gtk_toggle_tool_button_set_active(GTK_TOGGLE_TOOL_BUTTON(layout_widget(w_, "toolbutton6")), FALSE);
  session_.raw_log = "SEND: hidden again\r\n";
  face_->tick();
  EXPECT_EQ(buffer_text(), "SEND: after the toggle\r\n");
}

TEST_F(FaceTest, QuitWhileDisconnectedSendsNothingAndEndsTheLoop) {
  gtk_widget_show_all(w_.window1);
  session_.closed = true;
  g_idle_add([](gpointer) -> gboolean { return on_window1_delete_event(nullptr, nullptr, nullptr), FALSE; },
             nullptr);
  gtk_main();  // returns because the quit sequence ends the loop
  EXPECT_TRUE(session_.shutting_down);
  EXPECT_TRUE(session_.sent.empty());
  EXPECT_FALSE(face_->timer_installed());
  EXPECT_FALSE(GTK_WIDGET_VISIBLE(w_.window1));
}

TEST_F(FaceTest, QuitWhileConnectedSendsQuitAndWaitsForTheClose) {
  gtk_widget_show_all(w_.window1);
  session_.hold_key();
  g_idle_add([](gpointer) -> gboolean { return on_toolbutton4_clicked(nullptr, nullptr), FALSE; },
             nullptr);
  gtk_main();
  EXPECT_EQ(session_.sent, (std::vector<std::string>{"QUIT"}));
  EXPECT_EQ(session_.close_waits, 1);
}

// A channel split in two as the README shows it: a sealed line and a plain line with the
// same words, a line under another key, a message to us alone, and a member holding
// another key. Each run leaves privacy_marks.png (the window alone) in the test's
// folder; the pictures, tags and rows checked here are what it shows.
TEST_F(FaceTest, PrivacyMarksScreenshot) {
  session_.nick = "alice";
  session_.hold_key();
  session_.title = "#room, irc.example.net - Velmora";
  session_.account = "alice";
  session_.users = {"alice", "bob", "carol", "dave", "mallory"};
  session_.set_member("bob", MemberKey::Ours, test_support::FakeSession::kOwnCheck);
  session_.set_member("carol", MemberKey::Other, "FEDCBA9876543210");
  session_.set_member("dave", MemberKey::Waiting);
  session_.dirty = true;
  const std::string same = "Did everyone get the new key? :)";
  session_.queue = {{":bob!u@h PRIVMSG #room :" + same, LinePrivacy::Sealed},
                    {":mallory!u@h PRIVMSG #room :" + same, LinePrivacy::Plain},
                    {":carol!u@h PRIVMSG #room :", LinePrivacy::OtherKey},
                    {":bob!u@h PRIVMSG alice :call me when you can", LinePrivacy::Direct}};
  gtk_widget_show_all(w_.window1);
  face_->tick();
  on_menuitem5_activate(nullptr, nullptr);  // Connection, Show Key Check

  // The two lines with the same words differ in their first picture and its tag.
  GtkTextIter at;
  gtk_text_buffer_get_start_iter(buffer(), &at);
  std::vector<LinePrivacy> marks;
  do {
    if (gtk_text_iter_get_pixbuf(&at) == nullptr) continue;
    GSList* tags = gtk_text_iter_get_tags(&at);
    for (GSList* t = tags; t; t = t->next) {
      if (mark_of_tag(GTK_TEXT_TAG(t->data)) != LinePrivacy::None) marks.push_back(mark_of_tag(GTK_TEXT_TAG(t->data)));
    }
    g_slist_free(tags);
  } while (gtk_text_iter_forward_char(&at));
  EXPECT_EQ(marks, (std::vector<LinePrivacy>{LinePrivacy::Sealed, LinePrivacy::Plain, LinePrivacy::OtherKey,
                                             LinePrivacy::Direct}));
  EXPECT_NE(buffer_text().find("carol  (sealed under another key: carol holds a different key"), std::string::npos);
  EXPECT_NE(buffer_text().find("Your key check: 0123 4567 89AB CDEF"), std::string::npos);
  GtkTreeModel* rows = gtk_tree_view_get_model(GTK_TREE_VIEW(w_.treeview1));
  GtkTreeIter carol;
  ASSERT_TRUE(gtk_tree_model_iter_nth_child(rows, &carol, nullptr, 2));
  gchar* colour = nullptr;
  gtk_tree_model_get(rows, &carol, 2, &colour, -1);
  EXPECT_STREQ(colour, kOtherKeyColour);
  g_free(colour);
  EXPECT_STREQ(gtk_label_get_text(face_->surface().privacy_label()), "1 member holds another key");

  for (int i = 0; i < 50; ++i) g_main_context_iteration(nullptr, FALSE);  // drawn
  gdk_flush();
  // ImageMagick finds the window by its title.
  EXPECT_EQ(std::system(("import -window '" + session_.title + "' privacy_marks.png").c_str()), 0);
}

// The face over a session with a change signal: it sleeps when idle and wakes on it.
class SleepingFaceTest : public FaceTest {
protected:
  void SetUp() override {
    session_.changes = &signal_;
    FaceTest::SetUp();
  }

  // Runs the main loop until `done` or `bound` passes; false when it timed out.
  template <class Pred>
  bool run_until(Pred done, std::chrono::milliseconds bound = std::chrono::seconds(3)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
  }
  void run_for(std::chrono::milliseconds span) {
    run_until([] { return false; }, span);
  }
  std::string status_shown() {
    GtkWidget* area = gtk_statusbar_get_message_area(GTK_STATUSBAR(w_.statusbar1));
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    std::string text = gtk_label_get_text(GTK_LABEL(children->data));
    g_list_free(children);
    return text;
  }
  void show_and_settle() {
    session_.hold_key();
    gtk_widget_show_all(w_.window1);
    ASSERT_TRUE(run_until([&] { return face_->asleep(); }));
  }

  ChangeSignal signal_;
};

TEST_F(SleepingFaceTest, IdleWindowStopsTickingUntilTheSignal) {
  show_and_settle();
  EXPECT_TRUE(face_->timer_installed());  // the watch counts as the installed source
  const int drains = session_.drains;
  run_for(std::chrono::milliseconds(200));  // ten ticks' worth of time
  EXPECT_EQ(session_.drains, drains);
  EXPECT_TRUE(face_->asleep());
}

TEST_F(SleepingFaceTest, LinePublishedWhileAsleepIsRendered) {
  show_and_settle();
  session_.queue.push_back(":bob!u@h PRIVMSG #room :hello while asleep");
  signal_.raise();
  ASSERT_TRUE(run_until([&] { return buffer_text().find("hello while asleep") != std::string::npos; }));
  // A burst is rendered by the ticks, then the window sleeps again.
  for (int i = 0; i < 3; ++i) session_.queue.push_back(":s NOTICE me :burst " + std::to_string(i));
  signal_.raise();
  ASSERT_TRUE(run_until([&] { return session_.queue.empty() && face_->asleep(); }));
  EXPECT_NE(buffer_text().find("burst 2"), std::string::npos);
}

TEST_F(SleepingFaceTest, StatusSetAndClearedWhileAsleepReachTheStatusBar) {
  show_and_settle();
  session_.status = "Joining channel...";
  signal_.raise();
  ASSERT_TRUE(run_until([&] { return status_shown() == " Joining channel..."; }));
  ASSERT_TRUE(run_until([&] { return face_->asleep(); }));
  session_.status.clear();
  signal_.raise();
  EXPECT_TRUE(run_until([&] { return status_shown() == " "; }));
}

TEST_F(SleepingFaceTest, CloseWhileAsleepBringsBackTheConnectControls) {
  show_and_settle();
  EXPECT_FALSE(sensitive(w_.toolbutton1));
  session_.closed = true;
  signal_.raise();
  ASSERT_TRUE(run_until([&] { return sensitive(w_.toolbutton1); }));
  EXPECT_FALSE(sensitive(w_.toolbutton2));
}

// Quitting removes the watch, not just a timer: a later raise must not reach the face.
TEST_F(SleepingFaceTest, QuitWhileAsleepRemovesTheWatch) {
  show_and_settle();
  session_.closed = true;
  g_idle_add([](gpointer) -> gboolean { return on_window1_delete_event(nullptr, nullptr, nullptr), FALSE; },
             nullptr);
  gtk_main();
  EXPECT_FALSE(face_->timer_installed());
  const int drains = session_.drains;
  signal_.raise();
  run_for(std::chrono::milliseconds(100));
  EXPECT_EQ(session_.drains, drains);
}

}  // namespace
}  // namespace velmora
