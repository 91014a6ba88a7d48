#pragma once
// The key-exchange control texts carried in PRIVMSG, and their fixed-position fields.
//
//   "@PUBLIC " A " " T     A: joiner's public value, T: token (64 hex digits)
//   "@BADAUTH " T          T: the request's token, sent back
//   "@XPUBLIC " B          B: holder's one-time public value
//   "@XKEY " K             K: channel key sealed under the transport key
//   "@AUTHENTICATED"
//   "@CRYPTO " C           C: a chat line sealed under the channel key
//
// Fields are cut at fixed positions, not at spaces, as every peer does; a text too
// short for a field gives an empty or partial field, never a fault.

#include <string>
#include <string_view>

namespace velmora {

inline constexpr std::string_view public_marker = "@PUBLIC";
inline constexpr std::string_view badauth_marker = "@BADAUTH";
inline constexpr std::string_view xpublic_marker = "@XPUBLIC";
inline constexpr std::string_view xkey_marker = "@XKEY";
inline constexpr std::string_view authenticated_marker = "@AUTHENTICATED";
inline constexpr std::string_view crypto_marker = "@CRYPTO";
inline constexpr std::size_t token_digits = 64;

// Everything after the first `count` characters (empty when the text is shorter).
std::string_view text_after(std::string_view text, std::size_t count);
// The last `count` characters (the whole text when it is shorter).
std::string_view last_characters(std::string_view text, std::size_t count);

// "@PUBLIC": A from the 9th character up to the last 65 characters, T the last 64.
std::string_view public_request_value(std::string_view text);
std::string_view public_request_token(std::string_view text);

}  // namespace velmora
