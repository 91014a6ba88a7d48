#pragma once
// The chat view's 21 named text tags. The window's rules apply them by name.

#include <gtk/gtk.h>

#include <string>
#include <variant>
#include <vector>

namespace velmora {

// One property of a tag: an integer (sizes, pixels, enums) or a text (colours, family).
struct TagProperty {
  const char* name;
  std::variant<int, const char*> value;
};

struct TagSpec {
  const char* name;
  std::vector<TagProperty> properties;
};

// The tags in creation order; "big" is sized from `base`, the view's font size in
// Pango units (points x 1024).
std::vector<TagSpec> text_tag_specs(int base);

// base x 5 / 4, rounded down.
int big_tag_size(int base);

// The size of the view's current style font in Pango units; 10 pt when the style
// gives none, so "big" never becomes a zero size.
int view_font_size(GtkTextView* view);

// Creates the tags on the view's buffer, in order.
void create_text_tags(GtkTextView* view);

}  // namespace velmora
