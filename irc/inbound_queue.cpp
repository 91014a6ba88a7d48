#include "irc/inbound_queue.h"

namespace velmora {

ReceivedLine InboundQueue::pop() {
  std::lock_guard<std::mutex> hold(queue_lock_);
  if (lines_.empty()) return {};
  ReceivedLine line = std::move(lines_.front());
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
  ReceivedLine note(dropped_note(dropped_));
  bytes_ += cost(note);
  lines_.push_back(std::move(note));
  count_.fetch_add(1, std::memory_order_release);
  dropped_ = 0;
  return true;
}

void InboundQueue::publish(ReceivedLine line) {
  if (line.empty()) return;
  std::lock_guard<std::mutex> hold(queue_lock_);
  push(line);
}

void InboundQueue::publish_all(std::vector<ReceivedLine>& lines) {
  std::lock_guard<std::mutex> hold(queue_lock_);
  for (ReceivedLine& line : lines) {
    if (!line.empty()) push(line);
  }
}

std::size_t InboundQueue::dropped() const {
  std::lock_guard<std::mutex> hold(queue_lock_);
  return dropped_;
}

ViewNote InboundQueue::dropped_note(std::size_t count) {
  return {ViewNote::Kind::NotShown, std::to_string(count) + (count == 1 ? " line" : " lines") +
                                        " not shown: the view fell behind the server"};
}

std::size_t InboundQueue::cost(const ReceivedLine& line) {
  const IrcMessage& m = line.message;
  std::size_t bytes = sizeof(ReceivedLine) + line.raw.size() + m.nick.size() +
                      m.user_host.size() + m.command.size() + m.tags.size() +
                      (line.note ? line.note->text.size() : 0);
  for (const std::string& param : m.params) bytes += sizeof(std::string) + param.size();
  return bytes;
}

void InboundQueue::push(ReceivedLine& line) {
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
