#include "app/settings_exposure.h"

#include <sys/stat.h>

namespace velmora {

std::string settings_exposure_warning(const std::string& path, const Settings& s) {
  const char* secret = !s.key.empty()         ? "the channel passphrase"
                       : !s.sasl_pass.empty() ? "the account password"
                       : !s.auth_pass.empty() ? "the server password"
                                              : nullptr;
  struct stat info {};
  if (secret == nullptr || ::stat(path.c_str(), &info) != 0) return {};
  if ((info.st_mode & (S_IRGRP | S_IROTH)) == 0) return {};
  return "the settings file " + path + " holds " + secret +
         " and other users can read it (chmod 600 " + path + ")";
}

}  // namespace velmora
