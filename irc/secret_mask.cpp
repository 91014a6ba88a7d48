#include "irc/secret_mask.h"

#include <algorithm>
#include <cctype>

namespace velmora {
namespace {

bool same_word(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// The command word and where its parameters start.
std::string_view command_of(std::string_view line, std::size_t& rest) {
  const std::size_t space = line.find(' ');
  rest = space == std::string_view::npos ? line.size() : space + 1;
  return line.substr(0, space);
}

bool is_mechanism_word(std::string_view payload) {
  return payload == "+" || payload == "*" || same_word(payload, "PLAIN") ||
         same_word(payload, "EXTERNAL");
}

}  // namespace

std::string mask_secrets(std::string_view line) {
  std::size_t rest = 0;
  const std::string_view command = command_of(line, rest);
  if (rest >= line.size()) return std::string(line);
  const std::string_view params = line.substr(rest);
  if (same_word(command, "PASS")) return std::string(line.substr(0, rest)) + kMasked;
  if (same_word(command, "AUTHENTICATE") && !is_mechanism_word(params)) {
    return std::string(line.substr(0, rest)) + kMasked;
  }
  if (same_word(command, "OPER")) {  // OPER name password
    const std::size_t space = params.find(' ');
    if (space != std::string_view::npos) {
      return std::string(line.substr(0, rest + space + 1)) + kMasked;
    }
  }
  return std::string(line);
}

}  // namespace velmora
