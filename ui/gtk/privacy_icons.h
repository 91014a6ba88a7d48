#pragma once
// The marks before chat lines, drawn: a closed green lock (private), an open orange
// lock (not private), a blue envelope (a message to you alone) and a red lock with a
// cross (sealed under another key). Drawn rather than read from files: they need no
// icon theme, and differ in shape as well as colour.

#include <gtk/gtk.h>

#include "irc/view_item.h"

namespace velmora {

// Pixel size of a mark in the chat view.
inline constexpr int kMarkSize = 16;

// A new pixbuf of kMarkSize pixels square (the caller unrefs it); nullptr for
// LinePrivacy::None.
GdkPixbuf* draw_privacy_mark(LinePrivacy privacy);

}  // namespace velmora
