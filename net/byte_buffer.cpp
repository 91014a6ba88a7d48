#include "net/byte_buffer.h"

#include <cassert>
#include <cstring>

namespace velmora {

ByteBuffer::ByteBuffer()
    : data_(std::make_unique<char[]>(kInitialCapacity)), capacity_(kInitialCapacity) {}

void ByteBuffer::append(const char* source, std::size_t count) {
  if (count == 0) return;
  if (count > capacity_ - write_) {
    std::size_t grown = write_ + count;
    auto block = std::make_unique<char[]>(grown);
    std::memcpy(block.get(), data_.get(), write_);
    data_ = std::move(block);
    capacity_ = grown;
  }
  std::memcpy(data_.get() + write_, source, count);
  write_ += count;
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
  std::size_t unread = waiting();
  if (unread >= capacity_) return;
  std::memmove(data_.get(), data_.get() + read_, unread);
  read_ = 0;
  write_ = unread;
}

}  // namespace velmora
