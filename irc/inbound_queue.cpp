#include "irc/inbound_queue.h"

namespace velmora {

IrcMessage InboundQueue::pop_message() {
  std::string line = pop_line();
  if (line.empty()) return IrcMessage{};
  return parse_line(line);
}

std::string InboundQueue::pop_line() {
  std::lock_guard<std::mutex> hold(queue_lock_);
  if (lines_.empty()) return {};
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  bytes_ -= cost(line);
  count_.fetch_sub(1, std::memory_order_release);
  if (dropped_ > 0) add_note_if_room();  // the flood may be over: no line may follow
  return line;
}

// The note stands where the dropped lines would be: after everything waiting. Lines
// are taken again only once the window has caught up with half the bound, so a steady
// flood gives one note per half-bound of lines, not a note after every pop.
bool InboundQueue::add_note_if_room() {
  if (bytes_ > kMaxBytes / 2) return false;
  std::string note = dropped_note(dropped_);
  bytes_ += cost(note);
  lines_.push_back(std::move(note));
  count_.fetch_add(1, std::memory_order_release);
  dropped_ = 0;
  return true;
}

void InboundQueue::publish(std::string line) {
  if (line.empty()) return;
  std::lock_guard<std::mutex> hold(queue_lock_);
  push(line);
}

void InboundQueue::publish_all(std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> hold(queue_lock_);
  for (std::string& line : lines) {
    if (!line.empty()) push(line);
  }
}

std::size_t InboundQueue::dropped() const {
  std::lock_guard<std::mutex> hold(queue_lock_);
  return dropped_;
}

// Shown like a server notice without a sender: its text alone, in bold.
std::string InboundQueue::dropped_note(std::size_t count) {
  return "NOTICE * :" + std::to_string(count) +
         (count == 1 ? " line" : " lines") + " not shown: the view fell behind the server";
}

void InboundQueue::push(std::string& line) {
  if (dropped_ > 0 && !add_note_if_room()) {
    ++dropped_;
    return;
  }
  if (bytes_ + cost(line) > kMaxBytes) {
    ++dropped_;
    return;
  }
  bytes_ += cost(line);
  lines_.push_back(std::move(line));
  count_.fetch_add(1, std::memory_order_release);
}

}  // namespace velmora
