// The performance generator, read back with the engine's reader: the bundled example is what its
// script makes, the same options give the same bytes, and each option shows in what it writes.

#include <gtest/gtest.h>

#include <array>
#include <bitset>
#include <set>

#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

// examples/make-demo.sh and make-xg-demo.sh make the bundled examples: this pins the generator's
// bytes and their seeds.
TEST(Generator, BundledDemoIsReproducible) {
  const GeneratorOptions demo{.seed = 2024, .seconds = 36, .tempo = 112};
  EXPECT_TRUE(test::readFile(KORALUX_SOURCE_DIR "/examples/demo.evt") == generatePerformance(demo));
  const GeneratorOptions xg{
      .seed = 2025, .seconds = 40, .tempo = 104, .channels = kXgChannels, .xg = true};
  EXPECT_TRUE(test::readFile(KORALUX_SOURCE_DIR "/examples/xg-demo.evt") ==
              generatePerformance(xg));
}

// No key is struck while held or let go while up (a mono pedal only strikes), the pedal holds one
// note at a time, nothing is held at the end, and a size is met without a long overrun.
TEST(Generator, OptionsShowInWhatTheReaderSees) {
  for (const GeneratorOptions& options : std::vector<GeneratorOptions>{
           {.channels = 0xFFFF, .expression = false},
           {.seed = 2, .rhythmUnit = false, .alignMarker = false, .pedalWithoutReleases = true},
           {.seconds = 600, .everyKind = true},
           {.seconds = 1, .targetBytes = 100'000, .tempo = 187, .looseTiming = true},
           {.seed = 3, .channels = 0xFFFF, .everyKind = true, .xg = true},
       }) {
    const test::Bytes bytes = generatePerformance(options);
    EXPECT_EQ(bytes, generatePerformance(options));
    PerformanceReader reader(bytes, "generated");
    std::array<std::bitset<128>, 17> held{};  // by channel
    std::set<EventKind> seen;
    std::uint16_t playing = 0;
    for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
      seen.insert(e.kind);
      const bool strike = e.kind == EventKind::NoteOn && e.data2 != 0;
      if (!strike && e.kind != EventKind::NoteOff && e.kind != EventKind::NoteOn) continue;
      if (strike) playing |= channelBit(e.channel);
      auto key = held.at(static_cast<std::size_t>(e.channel))[static_cast<std::size_t>(e.data1)];
      const bool mono = e.channel == 3 && options.pedalWithoutReleases;
      EXPECT_TRUE(mono ? strike : key != strike)
          << "channel " << e.channel << " @" << reader.offset();
      if (!mono) key = strike;
      EXPECT_LE(held[3].count(), 1u) << "two pedal notes @" << reader.offset();
    }
    for (const std::bitset<128>& keys : held) EXPECT_TRUE(keys.none()) << "notes held at the end";
    // With an XG backing, channel 16 changes registrations instead of playing.
    EXPECT_EQ(playing, options.channels & ~(options.xg ? channelBit(16) : 0));
    EXPECT_EQ(seen.count(EventKind::ClockMarker), options.rhythmUnit ? 1u : 0u);
    EXPECT_EQ(seen.count(EventKind::AlignMarker), options.alignMarker ? 1u : 0u);
    EXPECT_EQ(seen.count(EventKind::Expression), options.expression ? 1u : 0u);
    EXPECT_EQ(seen.size() == kEventKindCount, options.everyKind);
    EXPECT_TRUE(options.targetBytes == 0 || bytes.size() - options.targetBytes <= 2'000u);
  }
}

}  // namespace
}  // namespace koralux
