#include "ui/term/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
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
  take(std::string_view(buffer, static_cast<std::size_t>(got)));
}

// Lines end at LF (a CR before it is dropped); what a line has beyond max_line_ bytes
// is dropped as it comes.
void LineReader::take(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::size_t room = max_line_ - std::min(max_line_, partial_.size());
    partial_.append(bytes.substr(0, std::min(end, room)));
    if (end == std::string_view::npos) return;
    if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
    lines_.push_back(std::move(partial_));
    partial_.clear();
    bytes.remove_prefix(end + 1);
  }
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
