#include "app/settings.h"

#include <climits>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <sstream>

namespace velmora {
namespace {

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// "&H", "&O", "&B" values wrap to 32 bits, so "&HFFFFFFFF" reads as -1.
int prefixed_integer(std::string_view digits, int base) {
  std::uint32_t value = 0;
  for (char c : digits) {
    int d = digit_value(c);
    if (d >= base) break;
    value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(d);
  }
  return static_cast<int>(value);
}

// Decimal values saturate instead of overflowing.
int decimal_integer(std::string_view text) {
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

std::string cut(const std::string& value, std::size_t limit) {
  return value.size() > limit ? value.substr(0, limit) : value;
}

void apply(Settings& s, const std::string& key, const std::string& value) {
  if (key == "AUTOCONNECT") s.auto_connect = settings_integer(value);
  else if (key == "SERVER") s.server = value;
  else if (key == "PORT") s.port = settings_integer(value);
  else if (key == "CHANNEL") s.channel = cut(value, kMaxChannelLength);
  else if (key == "NICK") s.nick = cut(value, kMaxNickLength);
  else if (key == "AUTHPASS") s.auth_pass = value;
  else if (key == "KEY") s.key = value;
  else if (key == "DESTROYAFTER") s.destroy_after = settings_integer(value);
  else if (key == "MAXUSERS") s.max_users = settings_integer(value);
  else if (key == "TLS") s.tls = settings_integer(value) == 1 ? 1 : 0;
  else if (key == "TLS_VERIFY") s.tls_verify = settings_integer(value);
  else if (key == "TLS_FINGERPRINT") s.tls_fingerprint = value;
  else if (key == "TLS_CERT") s.tls_cert = value;
  else if (key == "TLS_CA") s.tls_ca = value;
  else if (key == "SASL_USER") s.sasl_user = value;
  else if (key == "SASL_PASS") s.sasl_pass = value;
  else if (key == "SASL_MECH") s.sasl_mech = value;
  else if (key == "SASL_REQUIRED") s.sasl_required = settings_integer(value);
}

void apply_line(Settings& s, std::string_view line) {
  if (line.empty()) return;
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    apply(s, std::string(line), std::string(line));
    return;
  }
  apply(s, std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
}

}  // namespace

int settings_integer(std::string_view text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string_view::npos) return 0;
  text.remove_prefix(i);
  if (text.size() >= 2 && text[0] == '&') {
    switch (text[1]) {
      case 'H': case 'h': return prefixed_integer(text.substr(2), 16);
      case 'O': case 'o': return prefixed_integer(text.substr(2), 8);
      case 'B': case 'b': return prefixed_integer(text.substr(2), 2);
      default: return 0;
    }
  }
  return decimal_integer(text);
}

bool uses_tls(const Settings& s) { return s.tls == 1 || (s.tls == -1 && s.port == kTlsPort); }

Settings parse_settings(std::string_view text) {
  Settings s;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    apply_line(s, text.substr(start, end - start));
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    else if (start < text.size()) { ++start; continue; }
    if (start < text.size() && text[start] == '\n') ++start;
  }
  return s;
}

Settings load_settings(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "velmora: cannot read settings file " << path << "; using defaults\n";
    return Settings{};
  }
  std::ostringstream content;
  content << in.rdbuf();
  return parse_settings(content.str());
}

}  // namespace velmora
