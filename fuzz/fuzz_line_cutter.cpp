// Server bytes split into lines however they arrive: cutting the same bytes fed in
// arbitrary pieces must give the same line, take the same bytes, and never keep more
// than the line cap. The terminator learned from the first bytes, however they were
// split, takes a CR alone only once it has seen a CR not followed by LF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "irc/terminator.h"
#include "net/line_cutter.h"

namespace {

struct Cut {
  std::string line;
  std::size_t taken = 0;
  bool complete = false;
};

Cut cut_in_pieces(std::string_view data, std::string_view delimiter, std::size_t cap,
                  const uint8_t* sizes, std::size_t size_count) {
  velmora::LineCutter cutter(delimiter, cap);
  Cut cut;
  std::size_t i = 0;
  while (cut.taken < data.size() && !cutter.complete()) {
    std::size_t piece = size_count ? 1 + sizes[i++ % size_count] % 17 : data.size();
    std::string_view rest = data.substr(cut.taken, piece);
    std::size_t took = cutter.feed(rest);
    if (took > rest.size()) std::abort();
    cut.taken += took;
    if (took < rest.size() && !cutter.complete()) std::abort();  // stopped early for nothing
  }
  cut.line = cutter.line();
  cut.complete = cutter.complete();
  return cut;
}

void check_terminator(std::string_view bytes, std::size_t cut) {
  const std::string_view seen = bytes.substr(0, cut);
  const bool more_may_follow = cut < bytes.size();
  const std::string got = velmora::settle_terminator(seen, more_may_follow);
  if (!more_may_follow && got.empty()) std::abort();
  if (got == "\r") {
    bool lone = false;
    for (std::size_t i = 0; i + 1 < seen.size() && i < velmora::kTerminatorWindow; ++i)
      lone = lone || (seen[i] == '\r' && seen[i + 1] != '\n');
    if (!lone && more_may_follow) std::abort();
  }
  if (!got.empty() && got != "\r\n" && got != "\n\r" && got != "\n" && got != "\r")
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static const std::string_view kDelimiters[] = {"\r\n", "\n\r", "\n", "\r"};
  std::string_view delimiter = kDelimiters[data[0] % 4];
  std::size_t cap = 1 + data[1] % 64;
  std::size_t size_count = data[2] % 8;
  if (size < 3 + size_count) return 0;
  const uint8_t* sizes = data + 3;
  std::string_view bytes(reinterpret_cast<const char*>(data + 3 + size_count),
                         size - 3 - size_count);

  check_terminator(bytes, size_count ? sizes[0] % (bytes.size() + 1) : bytes.size());

  Cut whole = cut_in_pieces(bytes, delimiter, cap, nullptr, 0);
  Cut pieces = cut_in_pieces(bytes, delimiter, cap, sizes, size_count);
  if (whole.line != pieces.line || whole.taken != pieces.taken ||
      whole.complete != pieces.complete)
    std::abort();
  if (whole.line.size() > cap + delimiter.size()) std::abort();

  std::size_t end = bytes.find(delimiter);
  if (whole.complete) {
    if (end == std::string_view::npos || whole.taken != end + delimiter.size()) std::abort();
    std::string_view body = bytes.substr(0, end);
    std::string expected(body.substr(0, cap));
    expected += delimiter;
    if (whole.line != expected) std::abort();
  } else if (end != std::string_view::npos || whole.taken != bytes.size()) {
    std::abort();
  }
  return 0;
}
