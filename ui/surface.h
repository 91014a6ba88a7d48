#pragma once
// The one seam between the window's rules (ui/) and a toolkit. The GTK window, the
// terminal face and the tests' recorder each implement it; nothing in ui/ knows which.
// Every call is made on the main thread only.

#include <string>
#include <vector>

#include "irc/view_item.h"
#include "secure/key_agreement.h"

namespace velmora {

// The controls whose sensitivity the rules change.
enum class Control {
  ConnectButton,     // toolbutton1 and its menu twin imagemenuitem1
  DisconnectButton,  // toolbutton2 and its menu twin imagemenuitem2
  InputLine,         // entry1
};

// One row of the user list: what the member holds, its nick, and the same in words
// (for a tooltip): why a member shows as holding another key, for one.
struct UserRow {
  MemberKey key = MemberKey::Ordinary;
  std::string nick;
  std::string note;
  bool operator==(const UserRow&) const = default;
};

// What stays shown beside the status text while connected: the channel's privacy in
// one phrase, and how the link to the server is protected (with the account).
struct StateLine {
  enum class Tone { Neutral, Good, Warning };
  std::string privacy;
  Tone tone = Tone::Neutral;
  std::string link;
  bool operator==(const StateLine&) const = default;
};

class Surface {
public:
  virtual ~Surface() = default;

  // Chat view. `text` is valid UTF-8 (the rules convert what they show); `tags` are
  // the names of the view's text tags, applied in the order given.
  virtual void insert_text(const std::string& text, const std::vector<std::string>& tags) = 0;
  // An emoticon: `image_path` is the file to show at 14x14, `code` its text form
  // (":)") for faces that cannot show images.
  virtual void insert_image(const std::string& image_path, const std::string& code) = 0;
  // The mark that starts a chat line: who could read it (never LinePrivacy::None). No
  // text can stand for it, so nothing a sender writes makes a plain line look sealed.
  virtual void insert_mark(LinePrivacy privacy) = 0;
  virtual void clear_view() = 0;
  virtual void scroll_to_end() = 0;

  virtual void set_sensitive(Control control, bool sensitive) = 0;
  virtual void set_title(const std::string& title) = 0;
  // The status bar shows " " followed by the status text; the rules pass that whole text.
  virtual void set_status_bar(const std::string& text) = 0;
  virtual void set_user_rows(const std::vector<UserRow>& rows) = 0;
  virtual void set_state_line(const StateLine& state) = 0;
  // The modal "command not supported" warning: primary and secondary text.
  virtual void show_warning(const std::string& primary, const std::string& secondary) = 0;
};

}  // namespace velmora
