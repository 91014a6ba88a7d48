#pragma once
// The about box, built afresh each time it is asked for.

#include <gtk/gtk.h>

#include <string>

namespace velmora {

inline constexpr const char* kAboutComments =
    "Velmora is an encrypted IRC messenger, using the Diffie-Hellman protocol to establish "
    "a session key for communications, and the Blowfish algorithm for encryption.";
inline constexpr const char* kCopyright = "Copyright \u00a9 2026 The Velmora developers";

// The whole file as bytes; empty when it cannot be opened or read.
std::string read_text_file(const std::string& path);

// A new about box: logo from `folder`/icon.png when it loads, licence from
// `folder`/license.txt. The caller runs and destroys it.
GtkWidget* build_about_box(const std::string& folder);

// Builds the box, makes it transient for `parent`, runs it modally, then hides it.
void show_about_box(GtkWindow* parent, const std::string& folder);

}  // namespace velmora
