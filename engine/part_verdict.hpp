#pragma once
// The activity class of one channel, which decides whether and how its part is transcribed.

#include <string_view>

namespace koralux {

enum class PartVerdict : int {
  Absent = -1,   // no note events at all
  Balanced = 0,  // note-ons and releases roughly match (or too few to judge)
  OnHeavy = 1,   // note-ons outnumber releases by more than about 2 per cent
};

// The verdict's name as written above ("OnHeavy"), for listings.
constexpr std::string_view verdictName(PartVerdict verdict) noexcept {
  switch (verdict) {
    case PartVerdict::Absent:
      return "Absent";
    case PartVerdict::OnHeavy:
      return "OnHeavy";
    case PartVerdict::Balanced:
      break;
  }
  return "Balanced";
}

}  // namespace koralux
