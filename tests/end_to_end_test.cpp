// Whole conversions of generated performances of several shapes, each result read back by an
// independent MIDI parser (midicsv): the file must parse cleanly and hold one track per part that
// played, in the schedule's order, and each part must strike the notes its source channel struck.
// Percussion, which the rhythm unit strikes on the clock, must land on the clock's ticks.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "engine/conversion_run.hpp"
#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

// The notes struck (note-ons with a velocity) by one part, or on one channel of the input.
struct Notes {
  std::vector<int> keys;
  std::vector<std::int64_t> ticks;  // of each (input: the clock's ticks, 20 a clock marker)
  std::set<int> channels;           // as midicsv numbers them, 0 to 15
  std::string title;
};

// midicsv's reading of `midi`, by track (1: the conductor track).
std::map<int, Notes> readByMidicsv(const test::Bytes& midi) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.mid"), midi);
  const test::ProcessResult parsed = test::runProcess({"midicsv", folder.file("song.mid")});
  EXPECT_EQ(parsed.status, 0) << parsed.err << " (midicsv is in Debian's package midicsv)";
  EXPECT_EQ(parsed.err, "");
  std::map<int, Notes> tracks;
  std::istringstream lines(parsed.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;  // the rows read here have ", " only between fields
    for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 2) {
      comma = line.find(", ", at);
      f.push_back(line.substr(at, comma - at));
    }
    Notes& track = tracks[std::stoi(f[0])];
    if (f[2] == "Title_t") track.title = f[3].substr(1, f[3].size() - 2);
    if (f[2] != "Note_on_c" || f[5] == "0") continue;
    track.channels.insert(std::stoi(f[3]));
    track.keys.push_back(std::stoi(f[4]));
    track.ticks.push_back(std::stoll(f[1]));
  }
  return tracks;
}

// The name of the part from each source channel, 15 at 0.
const char* const kTitles[] = {"Percussion", "Upper", "Lower", "Pedal", "Upper"};

struct Shape {
  const char* name;
  GeneratorOptions options;
  std::vector<int> sources;  // channel of each part in order; the percussion (15) onto 10
};

void PrintTo(const Shape& shape, std::ostream* out) {
  *out << shape.name;
}

class EndToEnd : public ::testing::TestWithParam<Shape> {};

TEST_P(EndToEnd, MidicsvReadsEveryPartWithTheNotesItsChannelPlayed) {
  const Shape& shape = GetParam();
  const test::Bytes performance = generatePerformance(shape.options);
  ConversionSettings settings;
  settings.rhythmUnitAbsent = !shape.options.rhythmUnit;
  SilentObserver silent;
  const ConversionResult result = convertPerformance(performance, settings, silent);
  std::map<int, Notes> tracks = readByMidicsv(result.midi);
  ASSERT_EQ(tracks.size(), 2 + shape.sources.size());  // the header's row is track 0

  std::map<int, Notes> played;
  std::int64_t ticks = 0;
  std::int64_t alignTick = -1;  // by the clock markers alone
  std::int64_t markers = 0;
  PerformanceReader reader(performance, "generated");
  for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
    markers += e.kind == EventKind::ClockMarker ? 20 : 0;
    ticks +=
        e.kind == (settings.rhythmUnitAbsent ? EventKind::Timing : EventKind::ClockMarker) ? 20 : 0;
    if (e.kind == EventKind::AlignMarker && alignTick < 0) alignTick = markers;
    if (e.kind != EventKind::NoteOn || e.data2 == 0) continue;
    played[e.channel].keys.push_back(e.data1 & 0x7F);
    played[e.channel].ticks.push_back(ticks);
  }
  // The song start moves the first alignment marker onto a bar line.
  const std::int64_t shift = 1920 - std::max<std::int64_t>(alignTick, 0) % 1920;
  for (std::size_t index = 0; index < shape.sources.size(); ++index) {
    const int source = shape.sources[index];
    SCOPED_TRACE("part from channel " + std::to_string(source));
    const Notes& track = tracks[static_cast<int>(index) + 2];
    EXPECT_EQ(track.title, kTitles[source % 15]);
    EXPECT_EQ(track.channels, std::set<int>{source == 15 ? 9 : source - 1});
    ASSERT_GT(played[source].keys.size(), 10u);
    EXPECT_EQ(track.keys, played[source].keys);
    for (std::size_t i = 0; source == 15 && i < track.ticks.size(); ++i) {
      // From the first clock tick on (before it, time comes from an estimated interval); where
      // events come a little ahead of the clock, within a tick of it.
      const std::int64_t tick = track.ticks[i];
      if (played[source].ticks.at(i) == 0) continue;
      if (shape.options.looseTiming) {
        ASSERT_LE(std::min(tick % 20, 20 - tick % 20), 1) << "hit " << i;
      } else {
        ASSERT_EQ(tick, played[source].ticks[i] + shift) << "hit " << i;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, EndToEnd,
    ::testing::Values(
        Shape{"RhythmUnitRunning", {.seed = 11, .tempo = 112}, {1, 2, 3, 15}},
        Shape{"NoRhythmUnit",
              {.seed = 11, .tempo = 112, .rhythmUnit = false, .alignMarker = false},
              {1, 2, 3, 15}},
        Shape{"PedalWithoutReleases",
              {.seed = 11, .tempo = 112, .pedalWithoutReleases = true},
              {1, 2, 3, 15}},
        // Channels 1 to 4, 7 (which never plays) and 15.
        Shape{"EveryKindOfEvent",
              {.seed = 12, .tempo = 112, .channels = 0x404F, .everyKind = true},
              {4, 1, 2, 3, 15}},
        Shape{"TwentyMinutes", {.seed = 13, .seconds = 20 * 60, .tempo = 138}, {1, 2, 3, 15}},
        // Keys and drum hits due at a clock marker's millisecond sent a little ahead of it at
        // times: the parts must keep to the clock's grid (the old timing let them drift later).
        Shape{"EventsAheadOfTheClock",
              {.seed = 5, .seconds = 300, .looseTiming = true},
              {1, 2, 3, 15}}),
    [](const ::testing::TestParamInfo<Shape>& shape) { return shape.param.name; });

}  // namespace
}  // namespace koralux
