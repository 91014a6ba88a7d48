#include "ui/term/term_surface.h"

#include <string_view>
#include <utility>

#include "ui/privacy_words.h"

namespace velmora {
namespace {

// A chat line's mark: the colour it gets on a terminal, and its meaning for --help.
struct MarkStyle {
  LinePrivacy privacy;
  const char* sgr;
  const char* meaning;
};
constexpr MarkStyle kMarkStyles[] = {
    {LinePrivacy::Sealed, "32", "sealed under your channel key: only those who share it read it"},
    {LinePrivacy::Plain, "1;33", "unsealed in the channel: everyone there and the server read it"},
    {LinePrivacy::Direct, "36", "to you alone, not sealed: the server reads it"},
    {LinePrivacy::OtherKey, "1;31", "sealed under a key you do not hold; compare /check"},
};

// The user list's sign for each kind of member, and its meaning for --help.
struct MemberSign {
  MemberKey key;
  char sign;
  const char* meaning;
};
constexpr MemberSign kMemberSigns[] = {
    {MemberKey::Ours, '+', "holds your key"},
    {MemberKey::Other, '!', "holds a different key (its reason follows on a line of its own)"},
    {MemberKey::Unchecked, '?', "holds a key it does not name (an older Velmora)"},
    {MemberKey::Waiting, '~', "a Velmora user with no key yet"},
    {MemberKey::Ordinary, '-', "an ordinary IRC user: sees sealed lines as hex"},
};

constexpr std::string_view kOtherLinePrefix = "-!- ";

std::string mark_text(LinePrivacy privacy) { return "[" + std::string(mark_label(privacy)) + "]"; }

char member_sign(MemberKey key) {
  for (const MemberSign& s : kMemberSigns) {
    if (s.key == key) return s.sign;
  }
  return '-';
}

}  // namespace

std::string sgr_for_tags(const std::vector<std::string>& tags) {
  static const std::pair<std::string_view, std::string_view> kStyles[] = {
      {"bold", "1"},     {"italic", "3"},    {"underline", "4"},  {"red_fg", "31"},
      {"green_fg", "32"}, {"blue_fg", "34"}, {"gray_fg", "90"},   {"dark_fg", "90"},
      {"gray_bg", "100"},
  };
  std::string sgr;
  for (const std::string& tag : tags) {
    for (const auto& [name, code] : kStyles) {
      if (tag != name) continue;
      if (!sgr.empty()) sgr += ';';
      sgr += code;
    }
  }
  return sgr;
}

std::string term_marks_help() {
  std::string text = "In velmora-term every chat line starts with who could read it:\n";
  for (const MarkStyle& m : kMarkStyles) {
    const std::string mark = mark_text(m.privacy);
    text += "  " + mark + std::string(14 - mark.size(), ' ') + m.meaning + "\n";
  }
  text += "Every other line of the view starts with \"-!- \". In the user list (\"users:\" on\n"
          "standard error) each nick carries a sign:\n";
  for (const MemberSign& s : kMemberSigns) text += std::string("  ") + s.sign + "  " + s.meaning + "\n";
  text += "/check shows your key check: whoever shows the same 16 digits holds your key.\n";
  return text;
}

TermSurface::TermSurface(std::FILE* view, std::FILE* notes, bool colour)
    : view_(view), notes_(notes), colour_(colour) {}

void TermSurface::write_styled(const std::string& text, const std::string& style) {
  if (!style.empty()) std::fprintf(view_, "\x1b[%sm", style.c_str());
  std::fwrite(text.data(), 1, text.size(), view_);
  if (!style.empty()) std::fputs("\x1b[0m", view_);
}

// Line ends become "\n"; the text itself is already free of control characters. A line
// that does not start with a mark starts with "-!- ".
void TermSurface::write_view(const std::string& text, const std::string& style) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    const std::size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > start) {
      if (!line_started_) std::fwrite(kOtherLinePrefix.data(), 1, kOtherLinePrefix.size(), view_);
      line_started_ = true;
      write_styled(text.substr(start, stop - start), style);
    }
    if (end == std::string::npos) break;
    std::fputc('\n', view_);
    line_started_ = false;
    start = end + 2;
  }
}

void TermSurface::insert_text(const std::string& text, const std::vector<std::string>& tags) {
  write_view(text, colour_ ? sgr_for_tags(tags) : std::string());
}

// A terminal shows no images: the emoticon stays its code.
void TermSurface::insert_image(const std::string&, const std::string& code) {
  write_view(code, {});
}

void TermSurface::insert_mark(LinePrivacy privacy) {
  std::string style;
  for (const MarkStyle& m : kMarkStyles) {
    if (m.privacy == privacy && colour_) style = m.sgr;
  }
  write_styled(mark_text(privacy), style);
  std::fputc(' ', view_);
  line_started_ = true;
}

void TermSurface::clear_view() { note("view: cleared"); }

void TermSurface::scroll_to_end() { std::fflush(view_); }

void TermSurface::set_sensitive(Control control, bool sensitive) {
  static constexpr const char* kNames[] = {"connect", "disconnect", "input"};
  note(std::string("control: ") + kNames[static_cast<int>(control)] + (sensitive ? " on" : " off"));
}

void TermSurface::set_title(const std::string& title) { note("title: " + title); }

// The window shows " " + status; the note line keeps that form after its colon.
void TermSurface::set_status_bar(const std::string& text) { note("status:" + text); }

// One line for the list; a member holding a different key gets a line saying why.
void TermSurface::set_user_rows(const std::vector<UserRow>& rows) {
  std::string line = "users:";
  for (const UserRow& row : rows) line += std::string(" ") + member_sign(row.key) + row.nick;
  note(line);
  for (const UserRow& row : rows) {
    if (row.key == MemberKey::Other) note("users: !" + row.nick + ": " + row.note);
  }
}

void TermSurface::set_state_line(const StateLine& state) {
  if (state.privacy != shown_state_.privacy) note("privacy: " + state.privacy);
  if (state.link != shown_state_.link && !state.link.empty()) note("link: " + state.link);
  shown_state_ = state;
}

void TermSurface::show_warning(const std::string& primary, const std::string& secondary) {
  note("warning: " + primary + ": " + secondary);
}

void TermSurface::note(const std::string& line) {
  std::fputs(line.c_str(), notes_);
  std::fputc('\n', notes_);
  std::fflush(notes_);
}

}  // namespace velmora
