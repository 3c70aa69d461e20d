#pragma once
// The activity class of one channel, which decides whether and how its part is transcribed.

namespace koralux {

enum class PartVerdict : int {
  Absent = -1,   // no note events at all
  Balanced = 0,  // note-ons and releases roughly match (or too few to judge)
  OnHeavy = 1,   // note-ons outnumber releases by more than about 2 per cent
};

}  // namespace koralux
