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

// The services' commands whose words after the command are a password (IDENTIFY
// [account] password, GHOST nick password, REGISTER password email...).
bool is_services_login(std::string_view text) {
  const std::string_view word = text.substr(0, text.find(' '));
  return same_word(word, "IDENTIFY") || same_word(word, "REGISTER") || same_word(word, "GHOST") ||
         same_word(word, "RECOVER") || same_word(word, "RELEASE");
}

bool is_services_nick(std::string_view nick) {
  return same_word(nick, "NickServ") || same_word(nick, "NS");
}

// "PRIVMSG NickServ :IDENTIFY secret" (what /msg NickServ makes) and the servers'
// aliases "NICKSERV IDENTIFY secret", "NS IDENTIFY secret": everything after the
// services command is masked.
std::string mask_services_login(std::string_view line, std::string_view command,
                                std::string_view params) {
  std::string_view text;
  if (same_word(command, "PRIVMSG")) {
    const std::size_t space = params.find(' ');
    if (space == std::string_view::npos || !is_services_nick(params.substr(0, space))) return {};
    text = params.substr(space + 1);
    if (text.starts_with(':')) text.remove_prefix(1);
  } else if (is_services_nick(command)) {
    text = params;
  } else {
    return {};
  }
  const std::size_t space = text.find(' ');
  if (!is_services_login(text) || space == std::string_view::npos) return {};
  const std::size_t keep = static_cast<std::size_t>(text.data() - line.data()) + space + 1;
  return std::string(line.substr(0, keep)) + kMasked;
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
  if (std::string masked = mask_services_login(line, command, params); !masked.empty()) {
    return masked;
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
