#include "app/settings.h"

#include "app/settings_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <optional>

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

void apply(Settings& s, const std::string& key, const std::string& value) {
  if (const SettingRow* row = find_setting(key)) row->apply(s, value);
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

namespace {

const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// The file's text, or nothing with the reason why not (`absent` when there is no file).
std::optional<std::string> read_regular_file(const std::string& path, std::string& why,
                                             bool& absent) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    absent = errno == ENOENT;
    why = std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    why = std::string("it is ") + kind_of(info.st_mode);
    ::close(fd);
    return std::nullopt;
  }
  std::string text(kMaxSettingsBytes, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  return text;
}

}  // namespace

Settings load_settings(const std::string& path) {
  std::string why;
  bool missing = false;
  std::optional<std::string> text = read_regular_file(path, why, missing);
  if (!text) {
    // A first start has no settings file yet: that is no fault, only worth a word.
    if (missing) {
      std::cerr << "velmora: no settings file " << path
                << " yet; starting with the defaults (--help lists the settings)\n";
    } else {
      std::cerr << "velmora: cannot read settings file " << path << " (" << why
                << "); using defaults\n";
    }
    return Settings{};
  }
  return parse_settings(*text);
}

std::string port_error(const std::string& path) {
  return "the PORT setting" + (path.empty() ? std::string() : " in " + path) +
         " is not a port number from 1 to 65535";
}

}  // namespace velmora
