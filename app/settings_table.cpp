#include "app/settings_table.h"

#include <array>
#include <cctype>

namespace velmora {
namespace {

std::string cut(const std::string& value, std::size_t limit) {
  return value.size() > limit ? value.substr(0, limit) : value;
}

using S = Settings;
using V = const std::string&;

constexpr std::array kRows = {
    SettingRow{"SERVER", "host", "irc.libera.chat", "IRC server host name or address",
               "IRC server host name or dotted address.", true,
               [](S& s, V v) { s.server = v; }},
    SettingRow{"PORT", "number", "6667",
               "server TCP port; the connection dialog offers 6697 with\n"
               "TLS ticked when the file sets neither PORT nor TLS",
               "Server TCP port. When the file sets neither\n.B PORT\nnor\n.BR TLS ,\n"
               "the connection dialog offers 6697 with TLS ticked instead.",
               true, [](S& s, V v) { s.port = settings_integer(v); }},
    SettingRow{"CHANNEL", "#name", nullptr, "channel to join, at most 25 characters",
               "The channel to join, with its\n.BR # ;\nat most 25 characters are kept.", true,
               [](S& s, V v) { s.channel = cut(v, kMaxChannelLength); }},
    SettingRow{"NICK", "name", nullptr, "nick to log in with, at most 16 characters",
               "The nick to log in with; at most 16 characters are kept.", true,
               [](S& s, V v) { s.nick = cut(v, kMaxNickLength); }},
    SettingRow{"KEY", "passphrase", nullptr,
               "the channel's shared passphrase; empty sends lines unsealed",
               "The passphrase shared by the channel's Velmora users. Empty sends chat lines "
               "unsealed.",
               true, [](S& s, V v) { s.key = v; }},
    SettingRow{"AUTHPASS", "password", nullptr, "server password, sent with PASS when set",
               "Server password, sent with PASS when set.", false,
               [](S& s, V v) { s.auth_pass = v; }},
    SettingRow{"AUTOCONNECT", "1", "0: ask for them first",
               "connect at start when CHANNEL, NICK and KEY are set",
               "Open the chat window and connect at start when nick, channel and passphrase "
               "are set.\nAny other value shows the connection dialog first.",
               false, [](S& s, V v) { s.auto_connect = settings_integer(v); }},
    SettingRow{"DESTROYAFTER", "1", "0", "delete the settings file once connected",
               "Delete the settings file that was read once the channel has been joined, so "
               "that the\npassphrase does not stay on disk.",
               false, [](S& s, V v) { s.destroy_after = settings_integer(v); }},
    SettingRow{"MAXUSERS", "number", "0: no limit",
               "hand the channel key out only while fewer users hold it\n"
               "(counting those that proved the passphrase)",
               "Hand the channel key out only while fewer users than this hold it, counting "
               "those\nthat proved the passphrase to this client.",
               false,
               [](S& s, V v) { s.max_users = settings_integer(v); }},
    SettingRow{"USERNAME", "name", "undefined", "user name of the login",
               "The user name of the login; one word.", false,
               // One word on the USER line.
               [](S& s, V v) { s.username = v.substr(0, v.find(' ')); }},
    SettingRow{"REALNAME", "text", "*", "real name of the login", "The real name of the login.",
               false, [](S& s, V v) { s.realname = v; }},
    SettingRow{"TLS", "1", nullptr,
               "connect with TLS (without a TLS line: on for PORT=6697\nonly; 0 forces plain)",
               "Connect with TLS. Without a TLS line, port 6697 means TLS and any other port "
               "plain;\n.B TLS=0\nforces plain.",
               true, [](S& s, V v) { s.tls = settings_integer(v) == 1 ? 1 : 0; }},
    SettingRow{"TLS_VERIFY", "0", "1: verify it", "accept any server certificate",
               "Accept any server certificate; the status line says so at every connect. "
               "Otherwise\nthe certificate is verified against the system's trust store, with "
               "the host name.",
               false, [](S& s, V v) { s.tls_verify = settings_integer(v); }},
    SettingRow{"TLS_FINGERPRINT", "hex", nullptr,
               "trust exactly the certificate with this SHA-256 (hex)",
               "Trust exactly the server certificate with this SHA-256 fingerprint (colons "
               "allowed),\nfor servers with a certificate of their own making.",
               false, [](S& s, V v) { s.tls_fingerprint = v; }},
    SettingRow{"TLS_CERT", "path", nullptr,
               "client certificate and key (PEM), for CertFP and EXTERNAL",
               "A PEM file with a client certificate and its key, presented to the server "
               "(CertFP,\nSASL EXTERNAL).",
               false, [](S& s, V v) { s.tls_cert = v; }},
    SettingRow{"TLS_CA", "path", nullptr, "trust these certificates (PEM) instead of the system's",
               "A PEM file of certificates to trust instead of the system's trust store.", false,
               [](S& s, V v) { s.tls_ca = v; }},
    SettingRow{"SASL_USER", "name", nullptr, "account name for SASL PLAIN (with SASL_PASS)",
               "The account to log in to with SASL PLAIN during registration, with\n"
               ".BR SASL_PASS .",
               false, [](S& s, V v) { s.sasl_user = v; }},
    SettingRow{"SASL_PASS", "secret", nullptr, "account password for SASL PLAIN",
               "The account's password. It never appears in log.txt or the raw traffic view.",
               false, [](S& s, V v) { s.sasl_pass = v; }},
    SettingRow{"SASL_MECH", "EXTERNAL", nullptr, "log in with the client certificate instead",
               "Log in with the client certificate of\n.B TLS_CERT\ninstead.", false,
               [](S& s, V v) { s.sasl_mech = v; }},
    SettingRow{"SASL_REQUIRED", "1", "0: go on", "disconnect when the account login fails",
               "Disconnect when the account login fails, instead of going on without an "
               "account.",
               false, [](S& s, V v) { s.sasl_required = settings_integer(v); }},
    SettingRow{"SASL_PLAINTEXT", "1", "0: refuse",
               "send the SASL PLAIN password without TLS",
               "Send the SASL PLAIN password over a connection without TLS. Otherwise the "
               "login is\nrefused in words and the password is not sent.",
               false, [](S& s, V v) { s.sasl_plaintext = settings_integer(v); }},
    SettingRow{"CHANNEL_KEY", "key", nullptr, "the channel's key (+k), sent with the JOIN",
               "The channel's key (mode +k), sent with the JOIN; one word.", false,
               // One word on the JOIN line.
               [](S& s, V v) { s.channel_key = v.substr(0, v.find(' ')); }},
};

// "1", "0", "EXTERNAL": a value to type as it stands, shown in bold; "number", "#name": a
// placeholder, shown in italics.
bool literal_value(const char* value) {
  for (const char* c = value; *c != '\0'; ++c) {
    if (std::islower(static_cast<unsigned char>(*c)) || *c == '#') return false;
  }
  return true;
}

constexpr std::size_t kHelpColumn = 21;  // where the explanations start in --help
constexpr std::size_t kHelpWidth = 79;   // and where a line ends at the latest

}  // namespace

std::span<const SettingRow> setting_rows() { return kRows; }

const SettingRow* find_setting(const std::string& key) {
  for (const SettingRow& row : kRows) {
    if (key == row.key) return &row;
  }
  return nullptr;
}

std::string settings_help() {
  std::string text;
  for (const SettingRow& row : kRows) {
    std::string entry = std::string("  ") + row.key + "=" + row.value;
    entry += entry.size() < kHelpColumn ? std::string(kHelpColumn - entry.size(), ' ') : " ";
    for (const char* c = row.help; *c != '\0'; ++c) {
      entry += *c;
      if (*c == '\n') entry += std::string(kHelpColumn, ' ');
    }
    if (row.default_text != nullptr) {
      const std::string words = std::string("(default ") + row.default_text + ")";
      const std::size_t line_start = entry.rfind('\n') + 1;  // 0 when there is one line
      entry += entry.size() - line_start + 1 + words.size() > kHelpWidth
                   ? "\n" + std::string(kHelpColumn, ' ') + words
                   : " " + words;
    }
    text += entry + "\n";
  }
  return text;
}

std::string settings_manual() {
  std::string text;
  for (const SettingRow& row : kRows) {
    text += ".TP\n";
    text += literal_value(row.value) ? std::string(".B ") + row.key + "=" + row.value
                                     : std::string(".BI ") + row.key + "= " + row.value;
    text += std::string("\n") + row.manual + "\n";
    if (row.default_text != nullptr) text += std::string("The default is ") + row.default_text + ".\n";
    if (row.in_dialog) text += "The connection dialog asks for it.\n";
  }
  return text;
}

std::string settings_manual_keys() {
  std::string text = ".RB (";
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    text += std::string(" ") + kRows[i].key;
    if (i + 1 < kRows.size()) text += i % 5 == 4 ? " ,\n.BR" : " \", \"";
  }
  return text + " )";
}

}  // namespace velmora
