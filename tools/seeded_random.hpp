#pragma once
// The generator's random choices: splitmix64, tiny, fast and the same on every platform. Ranges
// are mapped here rather than by the standard distributions, whose results differ between
// standard libraries.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace koralux {

class Random {
 public:
  explicit Random(std::uint64_t seed) noexcept : state_(seed) {}

  std::uint64_t next() noexcept {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 to count - 1 (count at least 1), from the top 32 bits scaled by a multiplication: no
  // division, and a bias far below anything a listener could hear.
  int below(int count) noexcept {
    const std::uint64_t scaled = (next() >> 32) * static_cast<std::uint64_t>(std::max(count, 1));
    return static_cast<int>(scaled >> 32);
  }
  int between(int low, int high) noexcept { return low + below(high - low + 1); }
  bool chance(int percent) noexcept { return below(100) < percent; }
  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) noexcept {
    return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
  }

 private:
  std::uint64_t state_;
};

}  // namespace koralux
