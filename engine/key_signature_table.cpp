#include "engine/key_signature_table.hpp"

#include <algorithm>
#include <cctype>

namespace koralux {

const std::array<KeySignatureRow, 24> KeySignatureTable = {{
    {"C Major", 0, 0},       {"D Flat Major", -5, 0}, {"D Major", 2, 0},
    {"E Flat Major", -3, 0}, {"E Major", 4, 0},       {"F Major", -1, 0},
    {"F Sharp Major", 6, 0}, {"G Major", 1, 0},       {"A Flat Major", -4, 0},
    {"A Major", 3, 0},       {"B Flat Major", -2, 0}, {"B Major", 5, 0},
    {"A Minor", 0, 1},       {"B Flat Minor", -5, 1}, {"B Minor", 2, 1},
    {"C Minor", -3, 1},      {"C Sharp Minor", 4, 1}, {"D Minor", -1, 1},
    {"D Sharp Minor", 6, 1}, {"E Minor", 1, 1},       {"F Minor", -4, 1},
    {"F Sharp Minor", 3, 1}, {"G Minor", -2, 1},      {"G Sharp Minor", 5, 1},
}};

std::optional<std::size_t> findKeySignature(std::string_view text) {
  const auto sameLetters = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  };
  for (std::size_t i = 0; i < KeySignatureTable.size(); ++i) {
    const std::string_view rowText = KeySignatureTable[i].text;
    if (std::equal(rowText.begin(), rowText.end(), text.begin(), text.end(), sameLetters)) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace koralux
