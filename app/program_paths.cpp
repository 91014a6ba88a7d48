#include "app/program_paths.h"

#include <filesystem>
#include <system_error>

namespace velmora {

std::string program_folder() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !exe.has_parent_path()) return ".";
  return exe.parent_path().string();
}

std::string settings_path(int argc, const char* const* argv, const std::string& folder) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return joined.empty() ? folder + "/setup.ini" : joined;
}

}  // namespace velmora
