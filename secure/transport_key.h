#pragma once
// The Blowfish key under which a holder hands the channel key to a joiner, derived by
// both sides from the Diffie-Hellman secret and the passphrase.

#include <string>
#include <string_view>

#include "secure/blowfish.h"

namespace velmora {

// The key material: 4n bytes from the secret's first 12n digits, n = round-half-even(
// length / 12) at most 14; each three-digit group g becomes g * 255 / 1000 + 1.
std::string transport_key_material(std::string_view shared_secret);

// The transport key (64 bytes for real secrets), loaded into `cipher` on return.
std::string derive_transport_key(std::string_view shared_secret, std::string_view passphrase,
                                 BlowfishCipher& cipher);

// The same with the passphrase key already loaded in `passphrase_key`.
std::string derive_transport_key(std::string_view shared_secret,
                                 const BlowfishCipher& passphrase_key, BlowfishCipher& cipher);

}  // namespace velmora
