#pragma once
// The connection dialog's rules: what the user typed goes into the settings, then the
// checks decide which field, if any, must be corrected.

#include <string>
#include <string_view>

#include "app/settings.h"

namespace velmora {

// The 67 characters a nick may hold.
inline constexpr std::string_view kNickCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789|-_[]";
// Space, comma, colon, caret and bell: not allowed in a channel name.
inline constexpr std::string_view kChannelForbidden = " ,:^\x07";

// True when every character of `text` occurs in `allowed` (true for an empty text).
bool has_only_allowed(std::string_view text, std::string_view allowed);
// True when no character of `forbidden` occurs in `text`.
bool has_none_of(std::string_view text, std::string_view forbidden);

enum class DialogField { None, Channel, Nick, Server, Port, Key };

struct DialogEntries {
  std::string channel;  // entry2
  std::string nick;     // entry3
  std::string server;   // entry5
  std::string port;     // entry6, as typed
  std::string key;      // entry7
  bool use_tls = true;  // checkbutton1 "Use TLS"
};

// The plain port the settings start from; the dialog shows kTlsPort instead while
// "Use TLS" is checked.
inline constexpr int kPlainPort = 6667;

// The port text after "Use TLS" changed to `use_tls`: one default port becomes the
// other (an empty field too); a port the user chose stays.
std::string port_after_tls_toggle(const std::string& port, bool use_tls);

// The terminal has no check box: a port typed there decides as a settings file would.
bool tls_for_typed_port(const Settings& settings, const DialogEntries& shown,
                        const std::string& typed_port);

struct DialogVerdict {
  DialogField focus = DialogField::None;  // None: accepted, connect
  bool clear_field = false;               // empty the refused field before focusing it
  bool accepted() const { return focus == DialogField::None; }
};

// How a face starts: with the dialog when a setting it needs is missing or AUTOCONNECT
// is not 1; otherwise it connects, unless the PORT setting is out of range (a face
// that can ask opens the dialog then, one that cannot refuses to start).
enum class StartChoice { Dialog, Connect, BadPort };
StartChoice start_choice(const Settings& settings);

// The fields as the dialog shows them when it opens (port always, the rest when set).
// "Use TLS" starts checked unless the settings say TLS=0 or name a port of their own
// without TLS=1; a checked box shows the TLS port in place of the plain default.
DialogEntries dialog_entries_from(const Settings& settings);
// The field that gets the focus when the dialog opens; None leaves it where it is.
// A PORT setting out of range is focused once the empty fields are filled.
DialogField dialog_initial_focus(const Settings& settings);

// Stores the entries into `settings` (kept even when a check fails), checks them in
// order and, when all pass, gives a channel without "#" the "#vm" prefix.
DialogVerdict apply_connect_entries(const DialogEntries& entries, Settings& settings);

// The input line's length limit after connecting from the dialog.
inline int input_max_length(const Settings& settings) { return settings.key.empty() ? 400 : 200; }

}  // namespace velmora
