#pragma once
// Lines from a file descriptor (standard input), read without blocking the main loop.

#include <deque>
#include <optional>
#include <string>

namespace velmora {

class LineReader {
public:
  explicit LineReader(int fd) : fd_(fd) {}

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
  int fd_;
  bool at_end_ = false;
  std::string partial_;
  std::deque<std::string> lines_;
};

}  // namespace velmora
