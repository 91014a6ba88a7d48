#pragma once
// A byte block with a read position and a write position, used for both directions of
// a ChatSocket. It grows exactly to what an append needs and never shrinks, so its size
// after a burst tells how much the burst needed.

#include <cstddef>
#include <memory>
#include <string_view>

namespace velmora {

class ByteBuffer {
public:
  static constexpr std::size_t kInitialCapacity = 4096;

  ByteBuffer();

  std::size_t capacity() const { return capacity_; }
  std::size_t waiting() const { return write_ - read_; }
  std::string_view view() const { return {data_.get() + read_, waiting()}; }

  // Appends at the write position, growing the block to exactly what is needed.
  void append(const char* source, std::size_t count);
  // Moves the read position forward; `count` must not exceed `waiting()`.
  void consume(std::size_t count);
  // Drops everything waiting.
  void clear() { read_ = write_ = 0; }
  // Starts again at the front once everything has been read.
  void rewind_if_empty();
  // Once the write position passes half the block, moves the unread bytes to the front,
  // so a steady stream reuses the block instead of growing it.
  void compact_if_past_half();

private:
  std::unique_ptr<char[]> data_;
  std::size_t capacity_;
  std::size_t read_ = 0;
  std::size_t write_ = 0;
};

}  // namespace velmora
