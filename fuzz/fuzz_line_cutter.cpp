// Server bytes split into lines however they arrive: cutting the same bytes fed in
// arbitrary pieces must give the same line, take the same bytes, and never keep more
// than the line cap.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static const std::string_view delimiters[] = {"\r\n", "\n\r", "\n", "\r"};
  std::string_view delimiter = delimiters[data[0] % 4];
  std::size_t cap = 1 + data[1] % 64;
  std::size_t size_count = data[2] % 8;
  if (size < 3 + size_count) return 0;
  const uint8_t* sizes = data + 3;
  std::string_view bytes(reinterpret_cast<const char*>(data + 3 + size_count),
                         size - 3 - size_count);

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
