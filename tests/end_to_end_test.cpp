// Whole conversions of generated performances of several shapes, each result read back by an
// independent MIDI parser (midicsv): the file must parse cleanly and hold one track per part,
// each striking exactly the notes its source channel struck, and the percussion, which the rhythm
// unit strikes on the clock, must land on the clock's ticks.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "engine/conversion_run.hpp"
#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

// The notes struck (note-ons with a velocity), and the tick of each, by track or by channel.
using Struck = std::map<int, std::vector<std::pair<int, std::int64_t>>>;

// midicsv's reading of `midi`, by track (1: the conductor track).
Struck readByMidicsv(const test::Bytes& midi, std::size_t& tracks) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.mid"), midi);
  const test::ProcessResult parsed = test::runProcess({"midicsv", folder.file("song.mid")});
  EXPECT_EQ(parsed.status, 0) << parsed.err << " (midicsv is in Debian's package midicsv)";
  EXPECT_EQ(parsed.err, "");
  Struck struck;
  std::istringstream lines(parsed.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;  // the rows read here have ", " only between fields
    for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 2) {
      comma = line.find(", ", at);
      f.push_back(line.substr(at, comma - at));
    }
    if (f[2] == "Start_track") ++tracks;
    if (f[2] == "Note_on_c" && f[5] != "0") {
      struck[std::stoi(f[0])].push_back({std::stoi(f[4]), std::stoll(f[1])});
    }
  }
  return struck;
}

struct Shape {
  const char* name;
  GeneratorOptions options;
  std::vector<int> sources = {1, 2, 3, 15};  // the source channel of each part, in order
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
  std::size_t tracks = 0;
  Struck byTrack = readByMidicsv(convertPerformance(performance, settings, silent).midi, tracks);
  ASSERT_EQ(tracks, 1 + shape.sources.size());

  // As the organ meant it: each clock marker (without the rhythm unit, each timing event) is
  // 20 ticks, and the song start moves the first alignment marker onto a bar line.
  Struck played;
  std::int64_t ticks = 0, markers = 0, aligned = -1;
  PerformanceReader reader(performance, "generated");
  for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
    markers += e.kind == EventKind::ClockMarker ? 20 : 0;
    ticks +=
        e.kind == (shape.options.rhythmUnit ? EventKind::ClockMarker : EventKind::Timing) ? 20 : 0;
    if (e.kind == EventKind::AlignMarker && aligned < 0) aligned = markers;
    if (e.kind == EventKind::NoteOn && e.data2 != 0)
      played[e.channel].push_back({e.data1 & 0x7F, ticks});
  }
  const std::int64_t shift = 1920 - std::max<std::int64_t>(aligned, 0) % 1920;
  for (std::size_t index = 0; index < shape.sources.size(); ++index) {
    const int source = shape.sources[index];
    SCOPED_TRACE("part from channel " + std::to_string(source));
    auto& track = byTrack[static_cast<int>(index) + 2];
    ASSERT_EQ(track.size(), played[source].size());
    for (std::size_t i = 0; i < track.size(); ++i) {
      auto& [key, tick] = played[source][i];
      // Percussion from the first clock tick on (before it, time comes from an estimate).
      if (source == 15 && tick != 0)
        tick += shift;
      else
        tick = track[i].second;
      ASSERT_EQ(track[i], played[source][i]) << "note " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, EndToEnd,
    ::testing::Values(Shape{"RhythmUnitRunning", {.seed = 11, .tempo = 112}},
                      Shape{"NoRhythmUnit",
                            {.seed = 11, .rhythmUnit = false, .alignMarker = false}},
                      Shape{"PedalWithoutReleases", {.seed = 11, .pedalWithoutReleases = true}},
                      // Channels 1 to 4, 7 (which never plays) and 15.
                      Shape{"EveryKindOfEvent",
                            {.seed = 12, .channels = 0x404F, .everyKind = true},
                            {4, 1, 2, 3, 15}},
                      Shape{"TwentyMinutes", {.seed = 13, .seconds = 20 * 60, .tempo = 138}}),
    [](const ::testing::TestParamInfo<Shape>& shape) { return shape.param.name; });

}  // namespace
}  // namespace koralux
