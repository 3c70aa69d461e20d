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
  // The channels 5 to 14 that play are a backing for the organ's XG tone generator: set up at
  // the start by XG and universal system-exclusive messages, bank selects and program changes,
  // with voice changes, part settings and pitch bends during the song. Channel 16, when it
  // plays, changes the organ's registration (program changes 0 to 15) instead of playing notes.
  bool xg = false;
};

// Channels 1, 2, 3, 5, 6, 7, 10, 15 and 16: the organ's parts, a backing of chords (5), bass
// (6), pad (7) and drums (10), and registration changes.
inline constexpr std::uint16_t kXgChannels = 0xC277;

// Channel bits for GeneratorOptions::channels.
inline constexpr std::uint16_t channelBit(int channel) {
  return static_cast<std::uint16_t>(1u << (channel - 1));
}

std::vector<std::uint8_t> generatePerformance(const GeneratorOptions& options);

}  // namespace koralux
