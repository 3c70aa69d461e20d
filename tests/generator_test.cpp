// The performance generator, checked by reading what it writes back with the engine's reader:
// the same seed gives the same bytes, every note is released, the pedal plays one note at a
// time, the clock keeps the tempo, and the options (length, size, channels, rhythm unit,
// expression, every kind of event) are honoured.

#include <gtest/gtest.h>

#include <array>
#include <bitset>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "evt/performance_reader.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The events of a performance with the milliseconds at which each one arrives.
struct TimedEvent {
  PerformanceEvent event;
  std::int64_t ms = 0;
};

std::vector<TimedEvent> decode(const Bytes& bytes) {
  PerformanceReader reader(bytes, "generated");
  std::vector<TimedEvent> events;
  std::int64_t ms = 0;
  for (PerformanceEvent event = reader.next(); event.kind != EventKind::EndOfFile;
       event = reader.next()) {
    if (event.kind == EventKind::Timing) ms += event.channel;
    events.push_back({event, ms});
  }
  return events;
}

bool isRelease(const PerformanceEvent& event) {
  return event.kind == EventKind::NoteOff || (event.kind == EventKind::NoteOn && event.data2 == 0);
}
bool isStrike(const PerformanceEvent& event) {
  return event.kind == EventKind::NoteOn && event.data2 != 0;
}

struct ChannelNotes {
  int strikes = 0;
  int releases = 0;
};

// Checks what the converter relies on: no key struck twice without a release between, no
// release of a key that is not held, nothing held at the end (unless the pedal is asked to send
// note-ons only), the pedal one note at a time within its range, percussion notes within the
// drum range. Returns the note counts per channel (index 0 is channel 1).
std::array<ChannelNotes, 16> checkNotes(const Bytes& bytes, bool pedalWithoutReleases = false) {
  std::array<ChannelNotes, 16> notes{};
  std::array<std::bitset<256>, 16> held{};
  for (const TimedEvent& timed : decode(bytes)) {
    const PerformanceEvent& event = timed.event;
    if (!isStrike(event) && !isRelease(event)) continue;
    const auto index = static_cast<std::size_t>(event.channel - 1);
    const auto note = static_cast<std::size_t>(event.data1);
    EXPECT_LT(event.data1, 128) << "at " << timed.ms << " ms";
    if (isStrike(event)) {
      ++notes[index].strikes;
      if (event.channel == 3 && pedalWithoutReleases) continue;
      EXPECT_FALSE(held[index][note])
          << "channel " << event.channel << " strikes held note " << note << " at " << timed.ms;
      held[index][note] = true;
      if (event.channel == 3) {
        EXPECT_EQ(held[index].count(), 1u) << "two pedal notes at " << timed.ms << " ms";
        EXPECT_TRUE(note >= 36 && note <= 55) << "pedal note " << note;
      }
      if (event.channel == 15) {
        EXPECT_TRUE(note >= 35 && note <= 81) << "drum note " << note;
      }
    } else {
      ++notes[index].releases;
      EXPECT_TRUE(held[index][note])
          << "channel " << event.channel << " releases free note " << note << " at " << timed.ms;
      held[index][note] = false;
    }
  }
  for (std::size_t index = 0; index < held.size(); ++index) {
    EXPECT_TRUE(held[index].none()) << "notes still held on channel " << index + 1;
  }
  return notes;
}

std::set<int> channelsWithNotes(const Bytes& bytes) {
  std::set<int> channels;
  for (const TimedEvent& timed : decode(bytes)) {
    if (isStrike(timed.event)) channels.insert(timed.event.channel);
  }
  return channels;
}

int countKind(const Bytes& bytes, EventKind kind) {
  int count = 0;
  for (const TimedEvent& timed : decode(bytes)) count += timed.event.kind == kind ? 1 : 0;
  return count;
}

TEST(Generator, SameSeedSameBytes) {
  GeneratorOptions options;
  options.seconds = 20;
  options.everyKind = true;
  const Bytes first = generatePerformance(options);
  EXPECT_EQ(first, generatePerformance(options));
  ASSERT_GT(first.size(), kPerformanceHeaderSize);
  EXPECT_EQ(std::string(first.begin(), first.begin() + 7), "KORALUX");

  options.seed = 2;
  EXPECT_NE(first, generatePerformance(options));
}

// The bundled example must be exactly what examples/make-demo.sh makes, on any platform.
TEST(Generator, BundledDemoIsReproducible) {
  const std::filesystem::path demo =
      std::filesystem::path(__FILE__).parent_path().parent_path() / "examples" / "demo.evt";
  std::ifstream in(demo, std::ios::binary);
  ASSERT_TRUE(in) << "cannot read " << demo;
  const Bytes bundled{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  GeneratorOptions options;
  options.seed = 2024;
  options.seconds = 36;
  options.tempo = 112;
  EXPECT_TRUE(bundled == generatePerformance(options))
      << "examples/demo.evt differs from what examples/make-demo.sh makes";
}

TEST(Generator, EveryNoteIsReleasedAndThePedalPlaysOneNoteAtATime) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    GeneratorOptions options;
    options.seed = seed;
    options.seconds = 60;
    options.tempo = static_cast<int>(60 + 30 * seed);
    options.channels = 0xFFFF;
    options.rhythmUnit = seed % 2 == 0;
    const std::array<ChannelNotes, 16> notes = checkNotes(generatePerformance(options));
    for (std::size_t index = 0; index < notes.size(); ++index) {
      EXPECT_GT(notes[index].strikes, 10) << "channel " << index + 1;
    }
  }
}

TEST(Generator, PedalWithoutReleasesSendsNoteOnsOnly) {
  GeneratorOptions options;
  options.pedalWithoutReleases = true;
  const std::array<ChannelNotes, 16> notes = checkNotes(generatePerformance(options), true);
  EXPECT_GE(notes[2].strikes, 20);  // enough for the converter to judge the pedal
  EXPECT_EQ(notes[2].releases, 0);
  EXPECT_EQ(notes[0].strikes, notes[0].releases);
}

TEST(Generator, ClockMarkersKeepTheTempoAndTheBeatNotesFallOnThem) {
  for (const int tempo : {60, 112, 187}) {
    SCOPED_TRACE("tempo " + std::to_string(tempo));
    GeneratorOptions options;
    options.tempo = tempo;
    options.seconds = 30;
    int markers = 0;
    int markersBeforeAlign = -1;
    std::int64_t firstMarkerMs = 0;
    std::int64_t lastMarkerMs = 0;
    std::int64_t lastTimingMs = 0;
    for (const TimedEvent& timed : decode(generatePerformance(options))) {
      const PerformanceEvent& event = timed.event;
      if (event.kind == EventKind::ClockMarker) {
        if (markers++ == 0) firstMarkerMs = timed.ms;
        lastMarkerMs = timed.ms;
      } else if (event.kind == EventKind::AlignMarker) {
        EXPECT_EQ(markersBeforeAlign, -1) << "a second alignment marker";
        markersBeforeAlign = markers;
      } else if (isStrike(event) && event.channel == 15) {
        // The rhythm unit strikes on the clock: no time passes between marker and note.
        EXPECT_TRUE(markers == 0 || lastMarkerMs == timed.ms)
            << "drum off the clock at " << timed.ms << " ms";
      }
      if (event.kind == EventKind::Timing) lastTimingMs = timed.ms;
    }
    EXPECT_EQ(markersBeforeAlign, 24);
    EXPECT_NEAR(markers, 30 * tempo * 24 / 60, 24);
    const double interval =
        static_cast<double>(lastMarkerMs - firstMarkerMs) / static_cast<double>(markers - 1);
    EXPECT_NEAR(interval, 60000.0 / (tempo * 24), 0.001 * 60000.0 / (tempo * 24));
    // The last sound is at most a bar after the end (a pedal note released late).
    EXPECT_LE(lastTimingMs, 30000 + 4 * 60000 / tempo);
  }
}

TEST(Generator, RhythmUnitAndExpressionPedalCanStayStill) {
  GeneratorOptions options;
  options.seconds = 60;
  std::set<int> expressions;
  for (const TimedEvent& timed : decode(generatePerformance(options))) {
    if (timed.event.kind == EventKind::Expression) expressions.insert(timed.event.data2);
  }
  EXPECT_GE(expressions.size(), 5u);

  options.rhythmUnit = false;
  options.alignMarker = false;
  options.expression = false;
  const Bytes bytes = generatePerformance(options);
  EXPECT_EQ(countKind(bytes, EventKind::ClockMarker), 0);
  EXPECT_EQ(countKind(bytes, EventKind::AlignMarker), 0);
  EXPECT_EQ(countKind(bytes, EventKind::Expression), 0);
  EXPECT_EQ(channelsWithNotes(bytes), (std::set<int>{1, 2, 3, 15}));
  EXPECT_NEAR(static_cast<double>(decode(bytes).back().ms), 60000.0, 2500.0);
}

TEST(Generator, ChannelSelectionIsHonoured) {
  const std::vector<std::set<int>> selections = {{2, 15}, {1, 4, 5, 16}, {3}, {}};
  for (const std::set<int>& selection : selections) {
    GeneratorOptions options;
    options.seconds = 15;
    options.everyKind = true;
    options.channels = 0;
    for (const int channel : selection) options.channels |= channelBit(channel);
    const Bytes bytes = generatePerformance(options);
    EXPECT_EQ(channelsWithNotes(bytes), selection);
    for (const TimedEvent& timed : decode(bytes)) {
      const EventKind kind = timed.event.kind;
      if ((kind >= EventKind::FootController && kind <= EventKind::ChannelPressure) ||
          kind == EventKind::PitchBend) {
        EXPECT_TRUE(selection.count(timed.event.channel) == 1)
            << eventKindName(kind) << " on channel " << timed.event.channel;
      }
    }
  }
}

TEST(Generator, TargetBytesAreReachedClosely) {
  struct Case {
    std::size_t target;
    bool everyKind;
    bool rhythmUnit;
  };
  for (const Case& c : {Case{4096, false, true}, Case{100'000, true, true},
                        Case{100'000, false, false}, Case{4u << 20, false, true}}) {
    SCOPED_TRACE("target " + std::to_string(c.target));
    GeneratorOptions options;
    options.seconds = 1;  // the size decides
    options.targetBytes = c.target;
    options.everyKind = c.everyKind;
    options.rhythmUnit = c.rhythmUnit;
    const Bytes bytes = generatePerformance(options);
    EXPECT_GE(bytes.size(), c.target);
    EXPECT_LE(bytes.size(), c.target + c.target / 50 + 64);
    checkNotes(bytes);  // stopping early still releases every note
  }
  // Nothing selected and no rhythm unit: nothing can fill the file, and that must not hang.
  GeneratorOptions silent;
  silent.channels = 0;
  silent.rhythmUnit = false;
  silent.targetBytes = 10'000;
  EXPECT_LT(generatePerformance(silent).size(), kPerformanceHeaderSize + 16);
}

TEST(Generator, EveryKindCoversAllKinds) {
  GeneratorOptions options;
  options.seconds = 10;
  options.everyKind = true;
  const Bytes bytes = generatePerformance(options);
  std::set<EventKind> kinds;
  for (const TimedEvent& timed : decode(bytes)) kinds.insert(timed.event.kind);
  for (int kind = 0; kind < kEventKindCount; ++kind) {
    EXPECT_EQ(kinds.count(static_cast<EventKind>(kind)), 1u)
        << eventKindName(static_cast<EventKind>(kind)) << " missing";
  }
  checkNotes(bytes);

  // A longer one, so that the long system-exclusive dumps occur: each must end with its F7
  // within the limit, or the reader would lose its place and see notes that were never sent.
  options.seconds = 600;
  const Bytes longer = generatePerformance(options);
  EXPECT_GT(countKind(longer, EventKind::SystemExclusive), 15);
  checkNotes(longer);
}

}  // namespace
}  // namespace koralux
