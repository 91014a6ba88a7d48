#pragma once
// Every setting in one table: its key in the settings file, where the value goes, its
// default, its line in --help, its paragraph in the man pages and whether the
// connection dialog asks for it. Parsing, --help and both man pages are made from it,
// so a new setting is one row here (and its field in Settings).

#include <span>
#include <string>

#include "app/settings.h"

namespace velmora {

struct SettingRow {
  const char* key;            // "PORT"
  const char* value;          // what follows "=" in --help and the man page: "number", "1"
  // What --help and the man page say after "default ", written so that the line
  // KEY=<this> reads as the default (a test holds the table to that); nullptr when the
  // default is nothing or depends on other settings.
  const char* default_text;
  const char* help;           // --help: one line of about 50 characters, "\n" for another
  const char* manual;         // the man page's paragraph, in roff
  bool in_dialog;             // the connection dialog (and velmora-term's questions) ask for it
  void (*apply)(Settings& settings, const std::string& value);
};

std::span<const SettingRow> setting_rows();

// The row for `key` (exact, case-sensitive), or nullptr.
const SettingRow* find_setting(const std::string& key);

// The settings part of --help: one entry per row, defaults included.
std::string settings_help();

// The man page's settings: a .TP entry per row, defaults included.
std::string settings_manual();
// The keys as a man page names them in a sentence: ".BR SERVER \", \" PORT ..." lines.
std::string settings_manual_keys();

}  // namespace velmora
