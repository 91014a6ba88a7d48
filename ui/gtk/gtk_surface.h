#pragma once
// The window's surface over real GTK+ 2 widgets. Called on the main thread only.
// The 20 ms tick asks for the same state again and again; a widget is touched only
// when what it shows would change, so an idle window does no drawing work.

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/surface.h"

namespace velmora {

struct SurfaceWidgets {
  GtkWindow* window1 = nullptr;
  GtkTextView* chat_view = nullptr;      // textview1
  GtkTreeView* user_list = nullptr;      // treeview1
  GtkStatusbar* status_bar = nullptr;    // statusbar1
  GtkWidget* connect_button = nullptr;   // toolbutton1
  GtkWidget* connect_item = nullptr;     // imagemenuitem1
  GtkWidget* disconnect_button = nullptr;  // toolbutton2
  GtkWidget* disconnect_item = nullptr;    // imagemenuitem2
  GtkWidget* input_line = nullptr;       // entry1
};

// Pixel size of an emoticon in the chat view.
inline constexpr int kEmoticonSize = 14;
// A member or channel holding another key (and a plain channel) in orange; private in green.
inline constexpr const char* kOtherKeyColour = "#D35400";
inline constexpr const char* kPrivateColour = "#2E7D32";

class GtkSurface : public Surface {
public:
  explicit GtkSurface(SurfaceWidgets widgets);

  void insert_text(const std::string& text, const std::vector<std::string>& tags) override;
  void insert_image(const std::string& image_path, const std::string& code) override;
  // The mark's drawing, with a tag whose tooltip says what it means.
  void insert_mark(LinePrivacy privacy) override;
  void clear_view() override;
  void scroll_to_end() override;

  void set_sensitive(Control control, bool sensitive) override;
  void set_title(const std::string& title) override;
  void set_status_bar(const std::string& text) override;
  void set_user_rows(const std::vector<UserRow>& rows) override;
  // Two labels at the end of the status bar: the channel's privacy (green when private,
  // orange when split or plain) and the link.
  void set_state_line(const StateLine& state) override;
  void show_warning(const std::string& primary, const std::string& secondary) override;

  GtkTextBuffer* buffer() const { return gtk_text_view_get_buffer(widgets_.chat_view); }

  GtkLabel* privacy_label() const { return privacy_label_; }
  GtkLabel* link_label() const { return link_label_; }

private:
  void rebuild_user_list(const std::vector<UserRow>& rows);

  SurfaceWidgets widgets_;
  GtkLabel* privacy_label_ = nullptr;  // owned by the status bar
  GtkLabel* link_label_ = nullptr;
  std::optional<std::string> shown_status_;
  std::optional<std::vector<UserRow>> shown_rows_;
};

// `text` when it is valid UTF-8, otherwise its display form; GTK+ 2 takes nothing else.
std::string valid_utf8(const std::string& text);

// The text tag that carries a chat line's mark, and the mark a tag carries
// (LinePrivacy::None for any other tag).
std::string mark_tag_name(LinePrivacy privacy);
LinePrivacy mark_of_tag(GtkTextTag* tag);

// The stock icon the user list shows for a member.
const char* member_icon(MemberKey key);

}  // namespace velmora
