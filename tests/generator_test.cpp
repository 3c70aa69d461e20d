// The performance generator, read back with the engine's reader: the same seed gives the same
// bytes, the bundled example is what its script makes, and what it writes is what the converter
// relies on.

#include <gtest/gtest.h>

#include <array>
#include <bitset>
#include <set>
#include <string>
#include <vector>

#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;

TEST(Generator, SameSeedSameBytes) {
  GeneratorOptions options;
  options.seconds = 20;
  options.everyKind = true;
  const Bytes first = generatePerformance(options);
  EXPECT_EQ(first, generatePerformance(options));
  options.seed = 2;
  EXPECT_NE(first, generatePerformance(options));
}

// The bundled example must be exactly what examples/make-demo.sh makes, on any platform.
TEST(Generator, BundledDemoIsReproducible) {
  GeneratorOptions options;
  options.seed = 2024;
  options.seconds = 36;
  options.tempo = 112;
  EXPECT_TRUE(test::readFile(KORALUX_SOURCE_DIR "/examples/demo.evt") ==
              generatePerformance(options))
      << "examples/demo.evt differs from what examples/make-demo.sh makes";
}

// Over performances of several kinds: the options are honoured, no key is struck twice without
// a release between, none is released that is not held, nothing is held at the end, and the
// pedal plays one note at a time (or, when asked, sends note-ons only).
TEST(Generator, PerformancesHoldWhatTheConverterReliesOn) {
  std::vector<GeneratorOptions> kinds(5);
  kinds[0].channels = 0xFFFF;
  kinds[0].tempo = 187;
  kinds[1].rhythmUnit = false;
  kinds[1].expression = false;
  kinds[1].seed = 2;
  kinds[2].pedalWithoutReleases = true;
  kinds[3].everyKind = true;
  kinds[3].seconds = 600;  // long enough for long system-exclusive dumps, each ended within 512
  kinds[4].targetBytes = 100'000;  // stopping early still releases every note
  kinds[4].seconds = 1;
  for (const GeneratorOptions& options : kinds) {
    SCOPED_TRACE("seed " + std::to_string(options.seed) + ", tempo " +
                 std::to_string(options.tempo));
    const Bytes bytes = generatePerformance(options);
    if (options.targetBytes != 0) {
      EXPECT_GE(bytes.size(), options.targetBytes);
      EXPECT_LE(bytes.size(), options.targetBytes * 51 / 50 + 64);
    }
    PerformanceReader reader(bytes, "generated");
    std::array<std::bitset<128>, 16> held{};
    std::set<EventKind> seen;
    std::set<int> playing;
    int pedalReleases = 0;
    for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
      seen.insert(e.kind);
      const bool strike = e.kind == EventKind::NoteOn && e.data2 != 0;
      if (!strike && e.kind != EventKind::NoteOff && e.kind != EventKind::NoteOn) continue;
      ASSERT_LT(e.data1, 128);
      std::bitset<128>& keys = held[static_cast<std::size_t>(e.channel - 1)];
      const auto key = static_cast<std::size_t>(e.data1);
      if (strike) playing.insert(e.channel);
      if (e.channel == 3 && !strike) ++pedalReleases;
      if (e.channel == 3 && options.pedalWithoutReleases) continue;
      EXPECT_NE(bool(keys[key]), strike)
          << "channel " << e.channel << ", key " << key << " at byte " << reader.offset();
      keys[key] = strike;
      EXPECT_LE(held[2].count(), 1u) << "two pedal notes at byte " << reader.offset();
    }
    for (const std::bitset<128>& keys : held) EXPECT_TRUE(keys.none()) << "notes held at the end";

    std::set<int> selected;
    for (int channel = 1; channel <= 16; ++channel) {
      if (options.channels & channelBit(channel)) selected.insert(channel);
    }
    EXPECT_EQ(playing, selected);
    EXPECT_EQ(seen.count(EventKind::ClockMarker), options.rhythmUnit ? 1u : 0u);
    EXPECT_EQ(seen.count(EventKind::Expression), options.expression ? 1u : 0u);
    EXPECT_EQ(pedalReleases == 0, options.pedalWithoutReleases);
    if (options.everyKind) {
      EXPECT_EQ(seen.size(), static_cast<std::size_t>(kEventKindCount));
    }
  }
}

}  // namespace
}  // namespace koralux
