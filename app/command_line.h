#pragma once
// The command line both faces share: options, the settings path, and the texts of
// --help and --version.

#include <cstdio>
#include <optional>
#include <string>

namespace velmora {

struct CommandLine {
  enum class Action { run, help, version, unknown_option };
  Action action = Action::run;
  // Every argument that is not an option, joined by single spaces ("velmora my
  // settings.ini" reads "my settings.ini"); empty when there is none.
  std::string settings_argument;
  std::string unknown_option;  // the first one, for the error message
};

// Options: -h/--help, -V/--version; "--" ends them, so "velmora -- -odd.ini" reads the
// file "-odd.ini". Any other argument that starts with "-" (but "-" alone) is unknown,
// which outranks --help, which outranks --version.
CommandLine parse_command_line(int argc, const char* const* argv);

// Which face is asking: its command name and one line on what it is.
struct ProgramName {
  const char* command;  // "velmora", "velmora-term"
  const char* summary;
  const char* face_notes = nullptr;  // what the face's own output means, for --help
};

// "velmora 1.0": the project's version as the build knows it.
std::string version_text(const ProgramName& program);

// Usage, options, the settings keys with their meanings and defaults, and where the
// files are looked for.
std::string usage_text(const ProgramName& program);

// --help (usage on `out`, 0), --version (`out`, 0), an unknown option (message and
// usage on `err`, 2); nothing, to go on and run, for a plain command line.
std::optional<int> answer_command_line(const CommandLine& line, const ProgramName& program,
                                       std::FILE* out, std::FILE* err);

}  // namespace velmora
