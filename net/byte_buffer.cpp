#include "net/byte_buffer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace velmora {

ByteBuffer::ByteBuffer(Growth growth, std::size_t limit)
    : growth_(growth),
      limit_(limit),
      data_(std::make_unique<char[]>(kInitialCapacity)),
      capacity_(kInitialCapacity) {}

void ByteBuffer::append(const char* source, std::size_t count) {
  if (count == 0) return;
  if (count > capacity_ - write_) make_room(count);
  std::memcpy(data_.get() + write_, source, count);
  write_ += count;
}

void ByteBuffer::make_room(std::size_t count) {
  std::size_t grown = write_ + count;
  if (growth_ == Growth::amortised) {
    const std::size_t needed = waiting() + count;
    // Moving the unread bytes pays for itself once at least as many have been read;
    // at the limit it is the only way left.
    const bool at_limit = capacity_ > limit_ / 2;
    if (needed <= capacity_ && (read_ >= waiting() || at_limit)) {
      move_unread_to_front();
      return;
    }
    grown = std::max(needed, std::min(2 * capacity_, std::max(limit_, capacity_)));
  }
  auto block = std::make_unique<char[]>(grown);
  if (growth_ == Growth::amortised) {
    std::memcpy(block.get(), data_.get() + read_, waiting());
    write_ = waiting();
    read_ = 0;
  } else {
    std::memcpy(block.get(), data_.get(), write_);
  }
  data_ = std::move(block);
  capacity_ = grown;
}

void ByteBuffer::move_unread_to_front() {
  const std::size_t unread = waiting();
  std::memmove(data_.get(), data_.get() + read_, unread);
  read_ = 0;
  write_ = unread;
}

void ByteBuffer::consume(std::size_t count) {
  assert(count <= waiting());
  read_ += count;
}

void ByteBuffer::rewind_if_empty() {
  if (write_ > 0 && write_ == read_) read_ = write_ = 0;
}

void ByteBuffer::compact_if_past_half() {
  if (write_ <= capacity_ / 2) return;
  if (waiting() >= capacity_) return;
  move_unread_to_front();
}

}  // namespace velmora
