#pragma once
// The Standard MIDI File's variable-length quantity: 7 bits per byte, most significant group
// first, bit 7 set on every byte but the last. At most four bytes, so at most 0x0FFFFFFF.

#include <array>
#include <cstdint>
#include <vector>

namespace koralux {

inline constexpr std::uint32_t kLargestVariableLengthQuantity = 0x0FFFFFFF;

// Writes `value` (at most kLargestVariableLengthQuantity) at `out`, which has room for four
// bytes, and returns the end of what it wrote.
inline std::uint8_t* putVariableLengthQuantity(std::uint8_t* out, std::uint32_t value) {
  if (value >= (1u << 7)) {
    if (value >= (1u << 14)) {
      if (value >= (1u << 21)) *out++ = static_cast<std::uint8_t>(0x80 | ((value >> 21) & 0x7F));
      *out++ = static_cast<std::uint8_t>(0x80 | ((value >> 14) & 0x7F));
    }
    *out++ = static_cast<std::uint8_t>(0x80 | ((value >> 7) & 0x7F));
  }
  *out++ = static_cast<std::uint8_t>(value & 0x7F);
  return out;
}

// Appends `value` (at most kLargestVariableLengthQuantity) to `out`.
inline void appendVariableLengthQuantity(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::array<std::uint8_t, 4> bytes{};
  std::uint8_t* end = putVariableLengthQuantity(bytes.data(), value);
  out.insert(out.end(), bytes.data(), end);
}

}  // namespace koralux
