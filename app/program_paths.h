#pragma once
// Where the program keeps its files, and which settings file it reads.

#include <string>

namespace velmora {

// The folder that holds the running program (the folder of /proc/self/exe), without a
// trailing "/". Falls back to "." when it cannot be found.
std::string program_folder();

// The settings file: every argument after the program's name joined by single spaces
// when that text is non-empty (used as it stands, spaces and all), otherwise
// `folder` + "/setup.ini". The same rule picks the file DESTROYAFTER deletes.
std::string settings_path(int argc, const char* const* argv, const std::string& folder);

}  // namespace velmora
