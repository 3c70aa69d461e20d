// Whole conversions of generated performances of several shapes, each result read back by an
// independent MIDI parser (midicsv): the file must parse cleanly, have one track per part that
// played, in the schedule's order, and each part must play exactly the notes its source channel
// played. Percussion, which the rhythm unit strikes on the clock, must land on the clock's ticks.

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/conversion_observer.hpp"
#include "engine/conversion_run.hpp"
#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;

constexpr std::int64_t kTicksPerMarker = 20;
constexpr std::int64_t kTicksPerBar = 1920;

// The notes of one part: as the input played them on its channel, or as midicsv lists a track.
struct Notes {
  std::vector<int> noteOns;         // every note-on in order, velocity 0 as -1 - note
  std::vector<std::int64_t> ticks;  // for each struck note its tick (input: the clock's ticks)
  int noteOffs = 0;
  std::set<int> channels;  // as midicsv numbers them, 0 to 15
  std::string title;
  std::int64_t tempo = 0;  // microseconds per quarter note
  void noteOn(int note, int velocity, std::int64_t tick) {
    noteOns.push_back(velocity == 0 ? -1 - note : note);
    if (velocity != 0) ticks.push_back(tick);
  }
};

struct CsvFile {
  int tracks = 0;
  std::map<int, Notes> track;  // 1 is the conductor track
};

// Converts `performance` and has midicsv read the result; fails the test if midicsv complains.
CsvFile convertAndParse(const Bytes& performance, const ConversionSettings& settings,
                        ConversionResult* result = nullptr) {
  SilentObserver observer;
  ConversionResult converted = convertPerformance(performance, settings, observer);
  test::TemporaryFolder folder;
  test::writeFile(folder.file("performance.mid"), converted.midi);
  if (result != nullptr) *result = std::move(converted);
  const test::ProcessResult parsed = test::runProcess({"midicsv", folder.file("performance.mid")});
  EXPECT_EQ(parsed.status, 0) << parsed.err << " (midicsv is in Debian's package midicsv)";
  EXPECT_EQ(parsed.err, "");

  CsvFile file;
  std::istringstream lines(parsed.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;  // the rows read here have ", " only between fields
    for (std::size_t at = 0, comma; at != std::string::npos; at = comma) {
      comma = line.find(", ", at);
      fields.push_back(line.substr(at, comma - at));
      if (comma != std::string::npos) comma += 2;
    }
    if (fields.size() < 4) continue;
    Notes& track = file.track[std::stoi(fields[0])];
    const std::string& type = fields[2];
    if (type == "Header") file.tracks = std::stoi(fields[4]);
    if (type == "Title_t") track.title = fields[3].substr(1, fields[3].size() - 2);
    if (type == "Tempo") track.tempo = std::stoll(fields[3]);
    if (type == "Note_off_c") ++track.noteOffs;
    if (type == "Note_on_c") {
      track.channels.insert(std::stoi(fields[3]));
      track.noteOn(std::stoi(fields[4]), std::stoi(fields[5]), std::stoll(fields[1]));
    }
  }
  return file;
}

struct Input {
  std::map<int, Notes> channel;
  std::int64_t noteOnsEverywhere = 0;
  std::int64_t alignTick = 0;
};

// Reads the performance as the organ meant it: clock markers (or, without the rhythm unit,
// timing events) advance the clock by 20 ticks.
Input readInput(const Bytes& performance, bool rhythmUnitAbsent) {
  Input input;
  PerformanceReader reader(performance, "generated");
  std::int64_t ticks = 0;
  std::int64_t markerTicks = 0;  // the alignment marker goes by the clock markers alone
  for (PerformanceEvent event = reader.next(); event.kind != EventKind::EndOfFile;
       event = reader.next()) {
    if (event.kind == EventKind::ClockMarker) markerTicks += kTicksPerMarker;
    if (event.kind == (rhythmUnitAbsent ? EventKind::Timing : EventKind::ClockMarker)) {
      ticks += kTicksPerMarker;
    }
    if (event.kind == EventKind::AlignMarker && input.alignTick == 0) {
      input.alignTick = markerTicks;
    }
    if (event.kind == EventKind::NoteOn) {
      ++input.noteOnsEverywhere;
      input.channel[event.channel].noteOn(event.data1 & 0x7F, event.data2, ticks);
    }
    if (event.kind == EventKind::NoteOff) ++input.channel[event.channel].noteOffs;
  }
  return input;
}

struct ExpectedPart {
  std::string name;
  int source;
  int destination;
  bool mono = false;
};

struct Shape {
  std::string name;
  GeneratorOptions options;
  std::vector<ExpectedPart> parts;
};

// Names the shape in test reports.
void PrintTo(const Shape& shape, std::ostream* out) {
  *out << shape.name;
}

const ExpectedPart kUpper4{"Upper", 4, 4};
const ExpectedPart kUpper{"Upper", 1, 1};
const ExpectedPart kLower{"Lower", 2, 2};
const ExpectedPart kPedal{"Pedal", 3, 3};
const ExpectedPart kPedalMono{"Pedal", 3, 3, true};
const ExpectedPart kPercussion{"Percussion", 15, 10};

std::vector<Shape> shapes() {
  GeneratorOptions base;
  base.seed = 11;
  base.seconds = 30;
  base.tempo = 112;
  std::vector<Shape> all(5, Shape{"", base, {kUpper, kLower, kPedal, kPercussion}});
  all[0].name = "rhythm unit running";
  all[1].name = "no rhythm unit";  // converted with the rhythm-unit-absent flag
  all[1].options.rhythmUnit = false;
  all[1].options.alignMarker = false;
  all[2].name = "pedal without releases";
  all[2].options.pedalWithoutReleases = true;
  all[2].parts[2] = kPedalMono;
  all[3].name = "every kind of event";  // channels 1 to 4, 7 (never written) and 15
  all[3].options.channels = 0x404F;
  all[3].options.everyKind = true;
  all[3].options.seed = 12;
  all[3].parts.insert(all[3].parts.begin(), kUpper4);
  all[4].name = "twenty minutes";
  all[4].options.seconds = 20 * 60;
  all[4].options.tempo = 138;
  all[4].options.seed = 13;
  return all;
}

class EndToEnd : public ::testing::TestWithParam<Shape> {};

TEST_P(EndToEnd, MidicsvReadsEveryPartWithTheNotesItsChannelPlayed) {
  const Shape& shape = GetParam();
  const Bytes performance = generatePerformance(shape.options);
  ConversionSettings settings;
  settings.rhythmUnitAbsent = !shape.options.rhythmUnit;
  ConversionResult result;
  const CsvFile csv = convertAndParse(performance, settings, &result);
  const int tracks = 1 + static_cast<int>(shape.parts.size());
  ASSERT_EQ(csv.tracks, tracks);
  EXPECT_EQ(result.summary.tracks, tracks);

  const Input input = readInput(performance, settings.rhythmUnitAbsent);
  EXPECT_EQ(result.summary.notesTotal, input.noteOnsEverywhere);
  // The song start moves the first alignment marker onto a bar line.
  const std::int64_t shift = kTicksPerBar - input.alignTick % kTicksPerBar;

  std::int64_t transcribed = 0;
  for (std::size_t index = 0; index < shape.parts.size(); ++index) {
    const ExpectedPart& part = shape.parts[index];
    SCOPED_TRACE(part.name + " from channel " + std::to_string(part.source));
    const Notes& track = csv.track.at(static_cast<int>(index) + 2);
    EXPECT_EQ(track.title, part.name);
    EXPECT_EQ(track.channels, std::set<int>{part.destination - 1});
    const Notes& played = input.channel.at(part.source);
    ASSERT_GT(played.ticks.size(), 10u);
    transcribed += static_cast<std::int64_t>(played.noteOns.size());

    // Note for note, in the order struck; releases too, unless the part is mono (where each
    // new pedal note releases the one before).
    const auto struck = [](std::vector<int> notes) {
      std::erase_if(notes, [](int note) { return note < 0; });
      return notes;
    };
    EXPECT_EQ(struck(track.noteOns), struck(played.noteOns));
    if (part.mono) {
      EXPECT_GE(track.noteOffs + 1, static_cast<int>(played.ticks.size()));
    } else {
      EXPECT_EQ(track.noteOns, played.noteOns);
      EXPECT_EQ(track.noteOffs, played.noteOffs);
    }
    if (part.name == "Percussion") {
      // From the first clock tick on, percussion lands exactly on the clock's ticks. (Before it,
      // time comes from an estimated interval and is not compared.)
      ASSERT_EQ(track.ticks.size(), played.ticks.size());
      std::vector<std::int64_t> actual = track.ticks;
      std::vector<std::int64_t> expected = played.ticks;
      for (std::size_t i = 0; i < actual.size(); ++i) {
        actual[i] = expected[i] == 0 ? 0 : actual[i];
        expected[i] += expected[i] == 0 ? 0 : shift;
      }
      EXPECT_EQ(actual, expected);
    }
  }
  EXPECT_EQ(result.summary.notesTranscribed, transcribed);

  if (shape.options.rhythmUnit) {
    // The tempo estimated from the clock markers.
    const double expected = 60'000'000.0 / shape.options.tempo;
    EXPECT_NEAR(static_cast<double>(csv.track.at(1).tempo), expected, 0.03 * expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, EndToEnd, ::testing::ValuesIn(shapes()),
                         [](const ::testing::TestParamInfo<Shape>& shape) {
                           std::string name;
                           for (const char c : shape.param.name) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

// The organ sends a key or a drum hit due at a clock marker's millisecond sometimes just before
// the marker. Its interpolated time then runs a tick or so past the marker's time. Five minutes of
// such a performance: the parts must stay on the clock's grid, where the old timing let every
// track drift later, the busiest (the percussion) the most.
TEST(EndToEndTiming, PartsStayOnTheClockWhenEventsArriveAheadOfIt) {
  GeneratorOptions options;
  options.seed = 5;
  options.seconds = 300;
  options.tempo = 120;
  options.looseTiming = true;
  const Bytes performance = generatePerformance(options);
  const auto percussionTicks = [&](bool legacyTiming) {
    ConversionSettings settings;
    settings.legacyTiming = legacyTiming;
    return convertAndParse(performance, settings).track[5].ticks;
  };
  const std::vector<std::int64_t> mended = percussionTicks(false);
  const std::vector<std::int64_t> legacy = percussionTicks(true);
  ASSERT_EQ(mended.size(), legacy.size());
  ASSERT_GT(mended.size(), 1000u);

  // Every hit within a tick of a clock marker's time (a multiple of 20, as the song start is).
  std::int64_t worst = 0;
  for (std::int64_t tick : mended) worst = std::max(worst, std::min(tick % 20, 20 - tick % 20));
  EXPECT_LE(worst, 1);
  // The old timing has drifted by far more than a sixteenth note (120 ticks) by the end.
  EXPECT_GT(legacy.back() - mended.back(), 120);
}

}  // namespace
}  // namespace koralux
