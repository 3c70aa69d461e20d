#pragma once
// Makes realistic organ performance files (".evt") for examples, tests, fuzzing and benchmarks:
// a 256-byte header, then timing events, the rhythm unit's clock markers, an alignment marker,
// notes on the organ's channels and expression changes. The same options and seed always give
// the same bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace koralux {

struct GeneratorOptions {
  std::uint64_t seed = 1;
  double seconds = 30.0;              // length of the performance
  std::size_t targetBytes = 0;        // when not 0: go on until the file is about this size instead
  int tempo = 120;                    // beats per minute of the rhythm unit
  bool rhythmUnit = true;             // clock markers, 24 per quarter note
  bool alignMarker = true;            // an alignment marker after the first beat
  std::uint16_t channels = 0x4007;    // channels that play, bit (channel - 1): 1, 2, 3 and 15
  bool pedalWithoutReleases = false;  // the pedal sends note-ons only (its part goes mono)
  bool expression = true;             // expression pedal moves (controller 11)
  bool everyKind = false;             // also every other kind of event the organ's stream can hold
  // Events due at a clock marker's millisecond are sent before or after it at random, as the
  // organ's keyboard scan and its rhythm unit are not in step. Otherwise the marker goes first.
  bool looseTiming = false;
};

// Channel bits for GeneratorOptions::channels.
inline constexpr std::uint16_t channelBit(int channel) {
  return static_cast<std::uint16_t>(1u << (channel - 1));
}

std::vector<std::uint8_t> generatePerformance(const GeneratorOptions& options);

}  // namespace koralux
