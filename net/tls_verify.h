#pragma once
// The words a user sees when a server's certificate is refused, and the form of a
// pinned fingerprint. Pure functions, so they are tested without a handshake.

#include <string>
#include <string_view>

namespace velmora {

// 64 lower-case hex digits from a SHA-256 fingerprint written with or without colons
// or spaces, in either case; empty when it is not one.
std::string normalize_fingerprint(std::string_view text);

// Colon-separated upper-case pairs, as certificate tools print a fingerprint.
std::string display_fingerprint(std::string_view normalized);

// A verification result code of the TLS library in words ("self-signed").
std::string verify_failure_reason(long code);

// "TLS: certificate for <host> is not trusted: <reason>"
std::string untrusted_certificate_text(const std::string& host, std::string_view reason);

}  // namespace velmora
