#pragma once
// The values of the settings file: lines of key "=" value, read once at start.
// The file is never written; the connection dialog changes values in memory only.
// What each key means, and how its value is read, is in app/settings_table.h.

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

struct Settings {
  int auto_connect = 0;                      // AUTOCONNECT; only 1 means on
  std::string server = "irc.libera.chat";    // SERVER
  int port = 6667;                           // PORT
  std::string channel;                       // CHANNEL, at most 25 characters
  std::string nick;                          // NICK, at most 16 characters
  std::string auth_pass;                     // AUTHPASS, sent with PASS when non-empty
  std::string key;                           // KEY, the channel passphrase; empty = plain
  int destroy_after = 0;                     // DESTROYAFTER; only 1 means on
  int max_users = 0;                         // MAXUSERS; 0 = no limit

  int tls = -1;                 // TLS: 1 on, anything else off; no line: on for port 6697
  int tls_verify = 1;           // TLS_VERIFY; 0 accepts any certificate
  std::string tls_fingerprint;  // TLS_FINGERPRINT, SHA-256 hex of the one trusted certificate
  std::string tls_cert;         // TLS_CERT, PEM with a client certificate and its key
  std::string tls_ca;           // TLS_CA, PEM of trusted certificates instead of the system's
  std::string sasl_user;        // SASL_USER
  std::string sasl_pass;        // SASL_PASS
  std::string sasl_mech;        // SASL_MECH; EXTERNAL with TLS_CERT, else PLAIN
  int sasl_required = 0;        // SASL_REQUIRED; 1 disconnects when the login fails
  int sasl_plaintext = 0;       // SASL_PLAINTEXT; 1 sends a PLAIN password without TLS
  std::string channel_key;      // CHANNEL_KEY, the channel's +k key for the JOIN
  std::string username = "undefined";   // USERNAME, the login's user name
  std::string realname = "*";           // REALNAME, the login's real name

  bool operator==(const Settings&) const = default;
};

// The registered IRC port for TLS: a settings file that names it without a TLS line
// means TLS.
inline constexpr int kTlsPort = 6697;
bool uses_tls(const Settings& settings);

inline constexpr std::size_t kMaxChannelLength = 25;
inline constexpr std::size_t kMaxNickLength = 16;

// The number at the start of `text` after leading spaces: decimal (with an optional
// sign), or digits after "&H", "&O" or "&B" in either case; reading stops at the first
// character that does not belong to the number; no number gives 0. Prefixed values
// wrap to 32 bits ("&HFFFFFFFF" is -1); decimal values saturate at the int range.
int settings_integer(std::string_view text);

// Applies every line of `text` (CR LF, LF or lone CR line ends) over the defaults.
Settings parse_settings(std::string_view text);

// Reads the file at `path`. A file that cannot be read, or a path that is not a
// regular file (a FIFO would block start-up for ever, a directory read as empty), gives
// the defaults and a warning on stderr; only the first kMaxSettingsBytes are read.
Settings load_settings(const std::string& path);
inline constexpr std::size_t kMaxSettingsBytes = 1024 * 1024;

// A TCP port: 1 to 65535. PORT values outside it (99999, -1, "abc" read as 0) are
// refused rather than wrapped to another port.
inline bool valid_port(int port) { return port >= 1 && port <= 65535; }
// What to say about a PORT setting (in the file at `path`, when given) that is not
// valid_port.
std::string port_error(const std::string& path = "");

}  // namespace velmora
