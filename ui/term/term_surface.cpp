#include "ui/term/term_surface.h"

#include <string_view>
#include <utility>

namespace velmora {

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

TermSurface::TermSurface(std::FILE* view, std::FILE* notes, bool colour)
    : view_(view), notes_(notes), colour_(colour) {}

// Line ends become "\n"; the text itself is already free of control characters.
void TermSurface::write_view(const std::string& text, const std::string& style) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    const std::size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > start) {
      if (!style.empty()) std::fprintf(view_, "\x1b[%sm", style.c_str());
      std::fwrite(text.data() + start, 1, stop - start, view_);
      if (!style.empty()) std::fputs("\x1b[0m", view_);
    }
    if (end == std::string::npos) break;
    std::fputc('\n', view_);
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

void TermSurface::clear_view() { note("view: cleared"); }

void TermSurface::scroll_to_end() { std::fflush(view_); }

void TermSurface::set_sensitive(Control control, bool sensitive) {
  static constexpr const char* kNames[] = {"connect", "disconnect", "input"};
  note(std::string("control: ") + kNames[static_cast<int>(control)] + (sensitive ? " on" : " off"));
}

void TermSurface::set_title(const std::string& title) { note("title: " + title); }

// The window shows " " + status; the note line keeps that form after its colon.
void TermSurface::set_status_bar(const std::string& text) { note("status:" + text); }

void TermSurface::set_user_rows(const std::vector<UserRow>& rows) {
  std::string line = "users:";
  for (const UserRow& row : rows) line += (row.holds_key ? " +" : " -") + row.nick;
  note(line);
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
