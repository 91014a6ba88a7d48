#pragma once
// Lines we send that carry a password are logged, shown in the raw view and printed
// with the secret replaced by "****".

#include <string>
#include <string_view>

namespace velmora {

inline constexpr char kMasked[] = "****";

// PASS and OPER passwords, AUTHENTICATE payloads (not the mechanism name, "+" or "*")
// and what follows a services login (IDENTIFY, REGISTER, GHOST... to NickServ, by
// PRIVMSG or the NICKSERV and NS aliases) replaced by kMasked; every other line as it
// is. Commands in any case.
std::string mask_secrets(std::string_view line);

}  // namespace velmora
