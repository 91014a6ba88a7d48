#pragma once
// The terminal face's surface: the chat view is standard output, one rendered line per
// text line; everything else the window would show (status bar, title, control changes,
// user list, the state line, the warning) is a short line on standard error.
//
// Every chat line starts with its mark in brackets ("[private] alice  hi"); every other
// line of the view starts with "-!- ", so no text a server or sender chooses can start
// a line the way a sealed chat line starts.

#include <cstdio>
#include <string>
#include <vector>

#include "ui/surface.h"

namespace velmora {

class TermSurface : public Surface {
public:
  // `colour`: show tags as ANSI colours (only when the view is a terminal).
  TermSurface(std::FILE* view, std::FILE* notes, bool colour);

  void insert_text(const std::string& text, const std::vector<std::string>& tags) override;
  void insert_image(const std::string& image_path, const std::string& code) override;
  void insert_mark(LinePrivacy privacy) override;
  void clear_view() override;
  void scroll_to_end() override;
  void set_sensitive(Control control, bool sensitive) override;
  void set_title(const std::string& title) override;
  void set_status_bar(const std::string& text) override;
  void set_user_rows(const std::vector<UserRow>& rows) override;
  void set_state_line(const StateLine& state) override;
  void show_warning(const std::string& primary, const std::string& secondary) override;

  // A note line on standard error, for the face's own messages.
  void note(const std::string& line);

private:
  void write_view(const std::string& text, const std::string& style);
  void write_styled(const std::string& text, const std::string& style);

  std::FILE* view_;
  std::FILE* notes_;
  bool colour_;
  bool line_started_ = false;  // the view's current line has text (or a mark) already
  StateLine shown_state_;
};

// The ANSI SGR parameters for a set of text tags ("1;34"), empty when none apply.
std::string sgr_for_tags(const std::vector<std::string>& tags);

// What the terminal's marks mean, for --help: the line marks and the user list's.
std::string term_marks_help();

}  // namespace velmora
