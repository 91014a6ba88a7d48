#pragma once
// The key-exchange control texts carried in PRIVMSG, and their fixed-position fields.
//
//   "@PUBLIC " A " " T     A: joiner's public value, T: token (64 hex digits)
//   "@BADAUTH " T          T: the request's token, sent back
//   "@XPUBLIC " B          B: holder's one-time public value
//   "@XKEY " K             K: channel key sealed under the transport key
//   "@AUTHENTICATED" [" " C]  C: key check of the sender's channel key (16 hex digits);
//                             older clients send the bare marker, and match it by prefix
//   "@CRYPTO " C           C: a chat line sealed under the channel key
//
// Fields are cut at fixed positions, not at spaces, as every peer does; a text too
// short for a field gives an empty or partial field, never a fault.

#include <string>
#include <string_view>

namespace velmora {

inline constexpr std::string_view kPublicMarker = "@PUBLIC";
inline constexpr std::string_view kBadauthMarker = "@BADAUTH";
inline constexpr std::string_view kXpublicMarker = "@XPUBLIC";
inline constexpr std::string_view kXkeyMarker = "@XKEY";
inline constexpr std::string_view kAuthenticatedMarker = "@AUTHENTICATED";
inline constexpr std::string_view kCryptoMarker = "@CRYPTO";
inline constexpr std::size_t kTokenDigits = 64;

inline constexpr std::size_t kKeyCheckDigits = 16;

// The first 16 hex digits of the SHA-1 of a fixed label and the key: equal keys give
// equal checks, and the check tells nothing of the key.
std::string key_check(std::string_view channel_key);
// "@AUTHENTICATED " + key_check(channel_key).
std::string announcement(std::string_view channel_key);
// The key check an "@AUTHENTICATED" text carries, or empty when it carries none.
std::string_view announced_key_check(std::string_view text);

// Everything after the first `count` characters (empty when the text is shorter).
std::string_view text_after(std::string_view text, std::size_t count);
// The last `count` characters (the whole text when it is shorter).
std::string_view last_characters(std::string_view text, std::size_t count);

// "@PUBLIC": A from the 9th character up to the last 65 characters, T the last 64.
std::string_view public_request_value(std::string_view text);
std::string_view public_request_token(std::string_view text);

}  // namespace velmora
