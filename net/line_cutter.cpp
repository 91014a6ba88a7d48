#include "net/line_cutter.h"

#include <algorithm>

namespace velmora {

LineCutter::LineCutter(std::string_view delimiter, std::size_t max_line)
    : delimiter_(delimiter), max_line_(max_line) {}

std::size_t LineCutter::feed(std::string_view incoming) {
  if (complete_ || incoming.empty()) return 0;
  std::size_t end = find_end(incoming);
  complete_ = end != std::string_view::npos;
  std::size_t take = complete_ ? end : incoming.size();
  keep(incoming.substr(0, take));
  return take;
}

// Where the first delimiter ends in `incoming`, counting one that began in earlier bytes.
std::size_t LineCutter::find_end(std::string_view incoming) const {
  std::size_t d = delimiter_.size();
  std::string joint = carry_;
  joint.append(incoming.substr(0, d - 1));
  std::size_t at = joint.find(delimiter_);
  if (at != std::string::npos) return at + d - carry_.size();
  at = incoming.find(delimiter_);
  return at == std::string_view::npos ? at : at + d;
}

void LineCutter::keep(std::string_view taken) {
  std::size_t limit = max_line_ + delimiter_.size();
  if (kept_.size() < limit) kept_.append(taken.substr(0, limit - kept_.size()));
  taken_ += taken.size();
  std::size_t d = delimiter_.size();
  carry_.append(taken.substr(taken.size() - std::min(taken.size(), d - 1)));
  if (carry_.size() > d - 1) carry_.erase(0, carry_.size() - (d - 1));
}

std::string LineCutter::line() const {
  if (!complete_) return kept_.substr(0, max_line_);
  if (taken_ - delimiter_.size() <= max_line_) return kept_;
  return kept_.substr(0, max_line_) + delimiter_;
}

}  // namespace velmora
