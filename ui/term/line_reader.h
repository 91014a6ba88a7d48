#pragma once
// Lines from a file descriptor (standard input), read without blocking the main loop.

#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class LineReader {
public:
  // Bytes kept of one line: a line without an end cannot grow memory for ever. Four
  // bytes per character of the longest input line (400) keep every character the input
  // line can take; the rest of the line is dropped.
  static constexpr std::size_t kMaxLineBytes = 4 * 400;

  explicit LineReader(int fd, std::size_t max_line = kMaxLineBytes) : fd_(fd), max_line_(max_line) {}

  int fd() const { return fd_; }
  bool at_end() const { return at_end_; }

  // Reads what is waiting (call when the descriptor is readable); at end of input a
  // last line without its line feed still counts.
  void read_available();
  // The next complete line without its line end ("\n" or "\r\n"), if one is waiting.
  std::optional<std::string> next_line();
  // Waits for the next line; nothing at end of input.
  std::optional<std::string> read_line();

private:
  void take(std::string_view bytes);

  int fd_;
  std::size_t max_line_;
  bool at_end_ = false;
  std::string partial_;
  std::deque<std::string> lines_;
};

}  // namespace velmora
