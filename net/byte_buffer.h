#pragma once
// A byte block with a read position and a write position, used for both directions of
// a ChatSocket. It never shrinks. By default it grows exactly to what an append needs,
// so its size after a burst tells how much the burst needed; a buffer that many small
// appends may fill faster than it drains (the send side) grows by doubling instead and
// first reuses the space already read, so an append costs amortised constant time:
// growing exactly made a backlog of n bytes cost n²/2 bytes of copying.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace velmora {

class ByteBuffer {
public:
  static constexpr std::size_t kInitialCapacity = 4096;
  enum class Growth { exact, amortised };

  // An amortised block never grows past `limit` (unless one append needs more): doubling
  // from a size that was not a power of two overshot twice the owner's bound.
  explicit ByteBuffer(Growth growth = Growth::exact, std::size_t limit = SIZE_MAX);

  std::size_t capacity() const { return capacity_; }
  std::size_t waiting() const { return write_ - read_; }
  std::string_view view() const { return {data_.get() + read_, waiting()}; }

  // Appends at the write position, making room as the growth policy says.
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
  void make_room(std::size_t count);
  void move_unread_to_front();

  Growth growth_;
  std::size_t limit_;
  std::unique_ptr<char[]> data_;
  std::size_t capacity_;
  std::size_t read_ = 0;
  std::size_t write_ = 0;
};

}  // namespace velmora
