#pragma once
// A growing run of bytes for output that is written a few bytes at a time: room for the next
// bytes is asked for once, they are written through a plain pointer, and only the bytes used
// are kept. Unlike std::vector it never fills memory with zeros before it is written.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace koralux {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(ByteBuffer&& other) noexcept
      : bytes_(std::move(other.bytes_)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  // A pointer to room for at least `count` more bytes after the last one kept. Write what is
  // needed there, then hand the end of what was written to keep().
  std::uint8_t* room(std::size_t count) {
    if (capacity_ - size_ < count) grow(count);
    return bytes_.get() + size_;
  }
  // Keeps the bytes written into room() up to `end`.
  void keep(const std::uint8_t* end) noexcept {
    size_ = static_cast<std::size_t>(end - bytes_.get());
  }

  void append(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    std::uint8_t* at = room(bytes.size());
    std::memcpy(at, bytes.data(), bytes.size());
    keep(at + bytes.size());
  }
  void push(std::uint8_t byte) {
    std::uint8_t* at = room(1);
    *at = byte;
    keep(at + 1);
  }
  // Room for `count` bytes in all, so that writing up to that size moves nothing.
  void reserve(std::size_t count) {
    if (count > capacity_) grow(count - size_);
  }
  void clear() noexcept { size_ = 0; }

  std::uint8_t* data() noexcept { return bytes_.get(); }
  const std::uint8_t* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::span<const std::uint8_t> view() const noexcept { return {bytes_.get(), size_}; }
  std::uint8_t& operator[](std::size_t index) noexcept { return bytes_[index]; }

 private:
  void grow(std::size_t count) {
    const std::size_t wanted = std::max({size_ + count, 2 * capacity_, std::size_t{4096}});
    // Default-initialised (new[] without braces): the new bytes are not zeroed, only the kept
    // ones are copied. (std::make_unique_for_overwrite says the same, but the WebAssembly
    // build's library lacks it.)
    std::unique_ptr<std::uint8_t[]> larger(new std::uint8_t[wanted]);
    if (size_ != 0) std::memcpy(larger.get(), bytes_.get(), size_);
    bytes_ = std::move(larger);
    capacity_ = wanted;
  }

  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The pieces one after another in one vector, each piece released as soon as it is copied.
inline std::vector<std::uint8_t> concatenate(std::vector<ByteBuffer>&& pieces) {
  std::size_t total = 0;
  for (const ByteBuffer& piece : pieces) total += piece.size();
  std::vector<std::uint8_t> whole;
  whole.reserve(total);
  for (ByteBuffer& piece : pieces) {
    whole.insert(whole.end(), piece.data(), piece.data() + piece.size());
    piece = ByteBuffer();
  }
  pieces.clear();
  return whole;
}

}  // namespace koralux
