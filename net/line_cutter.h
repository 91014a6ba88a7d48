#pragma once
// Gathers one delimited line from bytes that arrive in pieces. It finds a delimiter that
// is split across two pieces, takes exactly the bytes of the line (bytes after the
// delimiter are left to the caller), and keeps at most `max_line` bytes of a line however
// long it runs, dropping the rest up to the delimiter.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

class LineCutter {
public:
  // `delimiter` must not be empty.
  LineCutter(std::string_view delimiter, std::size_t max_line);

  // Takes bytes from the front of `incoming` up to and including the delimiter, or all of
  // them when it is not there; returns how many were taken. Takes nothing once complete.
  std::size_t feed(std::string_view incoming);
  bool complete() const { return complete_; }
  // With the delimiter: the line cut to `max_line` bytes plus the delimiter. Without:
  // what arrived so far, cut to `max_line` bytes.
  std::string line() const;

private:
  std::size_t find_end(std::string_view incoming) const;
  void keep(std::string_view taken);

  std::string delimiter_;
  std::size_t max_line_;
  std::string kept_;    // the first max_line + delimiter bytes taken
  std::string carry_;   // the last delimiter - 1 bytes taken, to find a split delimiter
  std::size_t taken_ = 0;
  bool complete_ = false;
};

}  // namespace velmora
