#include "tests/support/temp_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmora::test_support {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

// Readable by us only, as a settings file with a passphrase should be (the program
// warns about one that others can read).
void TempFolder::write(const std::string& name, const std::string& content) const {
  {
    std::ofstream out(file(name), std::ios::binary);
    out << content;
  }
  std::error_code ignored;
  std::filesystem::permissions(file(name),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               ignored);
}

std::string TempFolder::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TempFolder::exists(const std::string& name) const {
  return std::filesystem::exists(file(name));
}

}  // namespace velmora::test_support
