#include "ui/display_text.h"

#include <array>
#include <cstdint>

namespace velmora {
namespace {

// Windows-1252 0x80..0x9F; 0 marks the five undefined bytes.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void append_escape(std::string& out, unsigned value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

// Length of the UTF-8 sequence at `pos`, 0 when it is malformed.
std::size_t sequence_length(std::string_view s, std::size_t pos) {
  const auto b0 = static_cast<std::uint8_t>(s[pos]);
  if (b0 < 0x80) return 1;
  std::size_t n;
  char32_t c;
  if ((b0 & 0xE0) == 0xC0) { n = 2; c = b0 & 0x1F; }
  else if ((b0 & 0xF0) == 0xE0) { n = 3; c = b0 & 0x0F; }
  else if ((b0 & 0xF8) == 0xF0) { n = 4; c = b0 & 0x07; }
  else return 0;
  if (pos + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto b = static_cast<std::uint8_t>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

// Copies valid UTF-8, escaping C0, DEL and the C1 range (U+0080..U+009F).
std::string escape_controls(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<std::uint8_t>(utf8[i]);
    if (b < 0x20 || b == 0x7F) {
      append_escape(out, b);
      ++i;
    } else if (b == 0xC2 && i + 1 < utf8.size() &&
               static_cast<std::uint8_t>(utf8[i + 1]) < 0xA0) {
      append_escape(out, static_cast<std::uint8_t>(utf8[i + 1]));
      i += 2;
    } else {
      out += utf8[i];
      ++i;
    }
  }
  return out;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = sequence_length(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string cp1252_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char ch : text) {
    const auto b = static_cast<std::uint8_t>(ch);
    if (b < 0x80) {
      out += ch;
    } else if (b < 0xA0) {
      const char32_t c = kCp1252High[b - 0x80];
      if (c == 0) append_escape(out, b);
      else append_utf8(out, c);
    } else {
      append_utf8(out, b);  // 0xA0..0xFF are Latin-1
    }
  }
  return out;
}

std::string display_text(std::string_view text) {
  if (is_valid_utf8(text)) return escape_controls(text);
  return escape_controls(cp1252_to_utf8(text));
}

}  // namespace velmora
