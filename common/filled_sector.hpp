#pragma once
// Sectors that imaging tools and formatters fill where nothing could be read or was written:
// one byte value from the first byte to the last. How such a byte is named in messages.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace koralux {

// The byte that fills all of `bytes`, if one does (none for no bytes).
inline std::optional<std::uint8_t> fillByte(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  const std::uint8_t first = bytes.front();
  if (!std::all_of(bytes.begin(), bytes.end(), [first](std::uint8_t b) { return b == first; })) {
    return std::nullopt;
  }
  return first;
}

// "F6": a byte as two upper-case hexadecimal digits.
inline std::string hexByte(std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 15]};
}

}  // namespace koralux
