#include "ui/term/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace velmora {

void LineReader::read_available() {
  if (at_end_) return;
  char buffer[4096];
  const ssize_t got = ::read(fd_, buffer, sizeof buffer);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (got <= 0) {
    at_end_ = true;
    if (!partial_.empty()) lines_.push_back(std::move(partial_));
    partial_.clear();
    return;
  }
  partial_.append(buffer, static_cast<std::size_t>(got));
  std::size_t start = 0;
  for (std::size_t end = partial_.find('\n'); end != std::string::npos;
       end = partial_.find('\n', start)) {
    std::string line = partial_.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(std::move(line));
    start = end + 1;
  }
  partial_.erase(0, start);
}

std::optional<std::string> LineReader::next_line() {
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

std::optional<std::string> LineReader::read_line() {
  while (lines_.empty() && !at_end_) {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, -1) < 0) {
      if (errno == EINTR) continue;
      at_end_ = true;
      break;
    }
    read_available();
  }
  return next_line();
}

}  // namespace velmora
