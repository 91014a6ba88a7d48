// Fills in a man page from data/man at build time: @PROJECT_VERSION@, @SETTINGS@ (an
// entry for each setting) and @SETTINGS_KEYS@ (their keys in a sentence), so that the
// pages say what the settings table says.
//   write_man_page TEMPLATE OUTPUT VERSION

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "app/settings_table.h"

namespace {

void replace_all(std::string& text, const std::string& name, const std::string& value) {
  for (std::size_t at = text.find(name); at != std::string::npos;
       at = text.find(name, at + value.size())) {
    text.replace(at, name.size(), value);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: write_man_page TEMPLATE OUTPUT VERSION\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::ostringstream page;
  page << in.rdbuf();
  if (!in) {
    std::cerr << "write_man_page: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::string text = page.str();
  // The entries end in a line break of their own; the placeholder's line has one too.
  std::string entries = velmora::settings_manual();
  entries.pop_back();
  replace_all(text, "@PROJECT_VERSION@", argv[3]);
  replace_all(text, "@SETTINGS@", entries);
  replace_all(text, "@SETTINGS_KEYS@", velmora::settings_manual_keys());
  std::ofstream out(argv[2]);
  out << text;
  if (!out.flush()) {
    std::cerr << "write_man_page: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
