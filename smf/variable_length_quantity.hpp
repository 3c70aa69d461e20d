#pragma once
// The Standard MIDI File's variable-length quantity: 7 bits per byte, most significant group
// first, bit 7 set on every byte but the last. At most four bytes, so at most 0x0FFFFFFF.

#include <cstdint>
#include <vector>

namespace koralux {

inline constexpr std::uint32_t kLargestVariableLengthQuantity = 0x0FFFFFFF;

// Appends `value` (at most kLargestVariableLengthQuantity) to `out`.
inline void appendVariableLengthQuantity(std::vector<std::uint8_t>& out, std::uint32_t value) {
  if (value >= (1u << 21)) out.push_back(static_cast<std::uint8_t>(0x80 | ((value >> 21) & 0x7F)));
  if (value >= (1u << 14)) out.push_back(static_cast<std::uint8_t>(0x80 | ((value >> 14) & 0x7F)));
  if (value >= (1u << 7)) out.push_back(static_cast<std::uint8_t>(0x80 | ((value >> 7) & 0x7F)));
  out.push_back(static_cast<std::uint8_t>(value & 0x7F));
}

}  // namespace koralux
