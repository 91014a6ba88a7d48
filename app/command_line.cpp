#include "app/command_line.h"

#include <string_view>

#include "app/settings_table.h"

#ifndef VELMORA_VERSION
#error "the build passes the project's version as VELMORA_VERSION"
#endif

namespace velmora {

namespace {

bool is_option(std::string_view argument) { return argument.size() > 1 && argument[0] == '-'; }

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv) {
  CommandLine line;
  bool options_ended = false;
  bool help = false;
  bool version = false;
  int plain_words = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!options_ended && argument == "--") {
      options_ended = true;
    } else if (options_ended || !is_option(argument)) {
      if (plain_words++ > 0) line.settings_argument += ' ';
      line.settings_argument += argument;
    } else if (argument == "-h" || argument == "--help") {
      help = true;
    } else if (argument == "-V" || argument == "--version") {
      version = true;
    } else if (line.unknown_option.empty()) {
      line.unknown_option = argument;
    }
  }
  if (!line.unknown_option.empty()) line.action = CommandLine::Action::unknown_option;
  else if (help) line.action = CommandLine::Action::help;
  else if (version) line.action = CommandLine::Action::version;
  return line;
}

std::string version_text(const ProgramName& program) {
  return std::string(program.command) + " " + VELMORA_VERSION + "\n";
}

std::string usage_text(const ProgramName& program) {
  const std::string command = program.command;
  return "Usage: " + command + " [SETTINGS-FILE]\n"
         "       " + command + " --help | --version\n" +
         program.summary + "\n"
         "\n"
         "Options:\n"
         "  -h, --help     show this help and exit\n"
         "  -V, --version  show the version and exit\n"
         "  --             end of options: what follows is the settings file's path\n"
         "\n"
         "The settings file holds lines KEY=value:\n" +
         settings_help() +
         "\n"
         "Files:\n"
         "  settings  SETTINGS-FILE when given (all words, joined by spaces); else setup.ini\n"
         "            beside the program when it is there; else\n"
         "            $XDG_CONFIG_HOME/velmora/setup.ini (~/.config/velmora/setup.ini)\n"
         "  log.txt   the raw traffic of the connection, readable by you only: beside the\n"
         "            program when it runs from its build folder; else\n"
         "            $XDG_STATE_HOME/velmora/log.txt (~/.local/state/velmora/log.txt)\n"
         "  data      gui.glade, smilies/, icon.png, license.txt: beside the program, else\n"
         "            in ../share/velmora from it\n"
         "\n" +
         (program.face_notes ? std::string(program.face_notes) + "\n" : std::string()) +
         "See " + command + "(1) for more.\n";
}

std::optional<int> answer_command_line(const CommandLine& line, const ProgramName& program,
                                       std::FILE* out, std::FILE* err) {
  switch (line.action) {
    case CommandLine::Action::run:
      return std::nullopt;
    case CommandLine::Action::help:
      std::fputs(usage_text(program).c_str(), out);
      return 0;
    case CommandLine::Action::version:
      std::fputs(version_text(program).c_str(), out);
      return 0;
    case CommandLine::Action::unknown_option:
      std::fprintf(err, "%s: unknown option '%s'\n\n%s", program.command,
                   line.unknown_option.c_str(), usage_text(program).c_str());
      return 2;
  }
  return 2;
}

}  // namespace velmora
