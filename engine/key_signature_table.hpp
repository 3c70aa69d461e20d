#pragma once
// The 24 keys a user can choose, in the order the key list shows them.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace koralux {

struct KeySignatureRow {
  std::string_view text;    // "C Major"
  std::int8_t sharpsFlats;  // positive counts sharps, negative flats
  std::uint8_t minor;       // 0 major, 1 minor
};

extern const std::array<KeySignatureRow, 24> KeySignatureTable;

// The row whose text matches, ignoring case ("g sharp minor"), or nothing.
std::optional<std::size_t> findKeySignature(std::string_view text);

}  // namespace koralux
