// The terminal face: what reaches standard output and standard error, and how lines are
// read from standard input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "ui/term/line_reader.h"
#include "ui/term/term_surface.h"

namespace velmora {
namespace {

std::string contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[256];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  return text;
}

class TermSurfaceTest : public ::testing::Test {
protected:
  void TearDown() override {
    std::fclose(view_);
    std::fclose(notes_);
  }
  std::FILE* view_ = std::tmpfile();
  std::FILE* notes_ = std::tmpfile();
};

TEST_F(TermSurfaceTest, PlainViewHasLineFeedsAndCodesForImages) {
  TermSurface surface(view_, notes_, false);
  surface.insert_text("\r\n", {"lmarg"});
  surface.insert_mark(LinePrivacy::Sealed);
  surface.insert_text("bob", {"bold", "big"});
  surface.insert_text("  hi ", {"space"});
  surface.insert_image("/x/face-smile.png", ":)");
  surface.insert_text("\r\n", {"space", "big"});
  EXPECT_EQ(contents(view_), "\n[private] bob  hi :)\n");
}

// Chat lines start with their mark; every other line starts with "-!- ", so a topic or
// a notice cannot start the way a sealed line does.
TEST_F(TermSurfaceTest, OnlyChatLinesStartWithAMark) {
  TermSurface surface(view_, notes_, false);
  for (LinePrivacy mark : {LinePrivacy::Sealed, LinePrivacy::Plain, LinePrivacy::Direct, LinePrivacy::OtherKey}) {
    surface.insert_mark(mark);
    surface.insert_text("bob  words\r\n", {});
  }
  surface.insert_text("[private] bob  words\r\nsecond line\r\n\r\n", {"green_fg"});
  EXPECT_EQ(contents(view_),
            "[private] bob  words\n[not private] bob  words\n[direct] bob  words\n[another key] bob  words\n"
            "-!- [private] bob  words\n-!- second line\n\n");
}

TEST_F(TermSurfaceTest, ColourOnlyWhenAsked) {
  TermSurface surface(view_, notes_, true);
  surface.insert_text("oops\r\n", {"red_fg", "indent", "bold"});
  surface.insert_mark(LinePrivacy::Plain);
  EXPECT_EQ(contents(view_), "-!- \x1b[31;1moops\x1b[0m\n\x1b[1;33m[not private]\x1b[0m ");
  EXPECT_EQ(sgr_for_tags({"lmarg", "space"}), "");
}

TEST_F(TermSurfaceTest, NotesForEverythingElse) {
  TermSurface surface(view_, notes_, false);
  surface.set_status_bar(" Joining channel...");
  surface.set_title("#c, s - Velmora");
  surface.set_sensitive(Control::InputLine, true);
  surface.set_sensitive(Control::ConnectButton, false);
  surface.set_user_rows({{MemberKey::Ours, "amy", ""},
                         {MemberKey::Other, "bob", "Holds a different key: why"},
                         {MemberKey::Unchecked, "cy", ""},
                         {MemberKey::Waiting, "dee", ""},
                         {MemberKey::Ordinary, "eve", ""}});
  surface.set_state_line({"Waiting for the key\u2026", StateLine::Tone::Neutral, "TLS, certificate verified"});
  surface.set_state_line({"Private: you alone hold the key", StateLine::Tone::Good, "TLS, certificate verified"});
  surface.show_warning("Command not supported", "The command 'join' is not supported by Velmora.");
  EXPECT_EQ(contents(notes_),
            "status: Joining channel...\n"
            "title: #c, s - Velmora\n"
            "control: input on\n"
            "control: connect off\n"
            "users: +amy !bob ?cy ~dee -eve\n"
            "users: !bob: Holds a different key: why\n"
            "privacy: Waiting for the key\u2026\n"
            "link: TLS, certificate verified\n"
            "privacy: Private: you alone hold the key\n"
            "warning: Command not supported: The command 'join' is not supported by Velmora.\n");
  EXPECT_EQ(contents(view_), "");
}

TEST(LineReader, SplitsLinesAcrossReadsAndKeepsTheLastAtEnd) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  LineReader reader(fds[0]);
  const std::string first = "one\r\ntw";
  ASSERT_EQ(::write(fds[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
  reader.read_available();
  EXPECT_EQ(reader.next_line(), "one");
  EXPECT_EQ(reader.next_line(), std::nullopt);
  const std::string rest = "o  \n\nlast";
  ASSERT_EQ(::write(fds[1], rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  ::close(fds[1]);
  EXPECT_EQ(reader.read_line(), "two  ");
  EXPECT_EQ(reader.read_line(), "");
  EXPECT_EQ(reader.read_line(), "last");
  EXPECT_EQ(reader.read_line(), std::nullopt);
  EXPECT_TRUE(reader.at_end());
  ::close(fds[0]);
}

// A line without an end must not grow memory for ever: what is beyond the bound is
// dropped, and the next line comes out whole.
TEST(LineReader, OverlongLineIsCut) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  LineReader reader(fds[0], 100);
  std::thread writer([&] {
    const std::string chunk(4096, 'x');
    for (int i = 0; i < 64; ++i) ASSERT_EQ(::write(fds[1], chunk.data(), chunk.size()), 4096);
    ASSERT_EQ(::write(fds[1], "\r\nnext\n", 8), 8);
    ::close(fds[1]);
  });
  EXPECT_EQ(reader.read_line(), std::string(100, 'x'));
  EXPECT_EQ(reader.read_line(), "next");
  writer.join();
  ::close(fds[0]);
}

}  // namespace
}  // namespace velmora
