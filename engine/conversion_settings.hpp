#pragma once
// What one conversion is asked to do.

#include <cstdint>
#include <string>

namespace koralux {

struct ConversionSettings {
  std::string inputPath;             // performance file to read
  std::string outputPath;            // MIDI file to write (replaced when complete)
  std::int8_t keySharpsFlats = 0;    // -7 to 7: positive counts sharps, negative flats
  std::uint8_t keyMinor = 0;         // 0 major, 1 minor
  std::uint8_t timeNumerator = 4;    // beats per bar, 1 to 255
  std::uint8_t timeDenominator = 4;  // note value of one beat, 1 to 128
  // Set when the organ's rhythm unit was not used: every timing event then counts as a
  // clock marker too.
  bool rhythmUnitAbsent = false;
  // Keeps the old track timing, in which an interpolated time that runs past the next clock
  // marker displaces every later event of the track.
  bool legacyTiming = false;
  // Also writes the XG tone generator's backing parts (channels 5 to 14) and its set-up
  // messages, and marks the registration changes (program changes on channel 16).
  bool xgParts = false;
  // Refuses a performance that gives any finding (cut short, not an organ recording, ...):
  // nothing is written then.
  bool strict = false;
};

}  // namespace koralux
