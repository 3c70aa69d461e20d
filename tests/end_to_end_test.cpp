// Whole conversions of generated performances of several shapes, each result read back by an
// independent MIDI parser (midicsv): the file must parse cleanly, have one track per part that
// played, in the schedule's order, and each part must play exactly the notes its source channel
// played. Percussion, which the rhythm unit strikes on the clock, must land on the clock's ticks.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/conversion_observer.hpp"
#include "engine/conversion_run.hpp"
#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

extern char** environ;

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr std::int64_t kTicksPerMarker = 20;
constexpr std::int64_t kTicksPerBar = 1920;

// midicsv on the search path, or where Debian puts it; empty when it is not installed.
std::string findMidicsv() {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream list(path);
    for (std::string folder; std::getline(list, folder, ':');) folders.push_back(folder);
  }
  folders.push_back("/usr/bin");
  for (const std::string& folder : folders) {
    const fs::path candidate = fs::path(folder) / "midicsv";
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

struct ProcessResult {
  int exitStatus = -1;
  std::string errors;  // what it wrote on standard error
};

// Runs `program` with `arguments`, standard error caught in `errorFile`, no shell in between.
ProcessResult run(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& errorFile) {
  std::vector<char*> argv;
  std::vector<std::string> all = {program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProcessResult result;
  if (spawned != 0) {
    result.errors = "cannot start " + program;
    return result;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream errors(errorFile);
  result.errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
  return result;
}

// What midicsv lists, by track (1 is the conductor track).
struct NoteRow {
  std::int64_t tick;
  int channel;  // 0 to 15, as midicsv numbers them
  int note;
  int velocity;
};
struct CsvTrack {
  std::string title;
  std::vector<NoteRow> noteOns;
  std::vector<NoteRow> noteOffs;
  std::int64_t tempo = 0;  // microseconds per quarter note
};
struct CsvFile {
  int tracks = 0;
  std::map<int, CsvTrack> track;
};

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  const auto last = text.find_last_not_of(" \r");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

CsvFile parseCsv(const std::string& path) {
  CsvFile file;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    // The first three fields, then the rest; only the rows read here have commas only
    // between fields.
    for (int i = 0; i < 3 && start != std::string::npos; ++i) {
      const std::size_t comma = line.find(',', start);
      fields.push_back(trim(line.substr(start, comma - start)));
      start = comma == std::string::npos ? comma : comma + 1;
    }
    if (fields.size() < 3) continue;
    const std::string rest = start == std::string::npos ? std::string() : line.substr(start);
    const int track = std::stoi(fields[0]);
    const std::int64_t tick = std::stoll(fields[1]);
    const std::string& type = fields[2];
    if (type == "Header") {
      int format = 0;
      char comma = 0;
      std::stringstream(rest) >> format >> comma >> file.tracks;
    } else if (type == "Title_t") {
      std::string title = trim(rest);
      if (title.size() >= 2) title = title.substr(1, title.size() - 2);
      file.track[track].title = title;
    } else if (type == "Tempo") {
      file.track[track].tempo = std::stoll(rest);
    } else if (type == "Note_on_c" || type == "Note_off_c") {
      NoteRow row{tick, 0, 0, 0};
      char comma = 0;
      std::stringstream(rest) >> row.channel >> comma >> row.note >> comma >> row.velocity;
      (type == "Note_on_c" ? file.track[track].noteOns : file.track[track].noteOffs).push_back(row);
    }
  }
  return file;
}

// What the input played on one channel.
struct SourceNotes {
  std::vector<int> struck;   // notes of note-ons with a velocity, in order
  std::vector<int> noteOns;  // notes of every note-on, velocity 0 included (as -1 - note)
  int noteOffs = 0;
  std::vector<std::int64_t> clockTicks;  // for each struck note, the clock's ticks before it
};

struct Input {
  std::map<int, SourceNotes> channel;
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
    const bool tick =
        rhythmUnitAbsent ? event.kind == EventKind::Timing : event.kind == EventKind::ClockMarker;
    if (tick) ticks += kTicksPerMarker;
    if (event.kind == EventKind::AlignMarker && input.alignTick == 0) {
      input.alignTick = markerTicks;
    }
    if (event.kind == EventKind::NoteOn) {
      SourceNotes& notes = input.channel[event.channel];
      ++input.noteOnsEverywhere;
      const int note = event.data1 & 0x7F;
      notes.noteOns.push_back(event.data2 == 0 ? -1 - note : note);
      if (event.data2 != 0) {
        notes.struck.push_back(note);
        notes.clockTicks.push_back(ticks);
      }
    } else if (event.kind == EventKind::NoteOff) {
      ++input.channel[event.channel].noteOffs;
    }
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
  bool rhythmUnitAbsent = false;
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
  std::vector<Shape> all;
  GeneratorOptions base;
  base.seed = 11;
  base.seconds = 30;
  base.tempo = 112;

  all.push_back({"rhythm unit running", base, {kUpper, kLower, kPedal, kPercussion}});

  Shape noRhythm{"no rhythm unit", base, {kUpper, kLower, kPedal, kPercussion}, true};
  noRhythm.options.rhythmUnit = false;
  noRhythm.options.alignMarker = false;
  all.push_back(noRhythm);

  Shape mono{"pedal without releases", base, {kUpper, kLower, kPedalMono, kPercussion}};
  mono.options.pedalWithoutReleases = true;
  all.push_back(mono);

  Shape fourth{"channel 4 playing", base, {kUpper4, kUpper, kLower, kPedal, kPercussion}};
  fourth.options.channels = static_cast<std::uint16_t>(base.channels | channelBit(4));
  all.push_back(fourth);

  Shape everyKind{"every kind of event", base, {kUpper4, kUpper, kLower, kPedal, kPercussion}};
  everyKind.options.channels = static_cast<std::uint16_t>(
      base.channels | channelBit(4) | channelBit(7));  // channel 7 is never written
  everyKind.options.everyKind = true;
  everyKind.options.seed = 12;
  all.push_back(everyKind);

  Shape fewParts{"lower manual and percussion only", base, {kLower, kPercussion}};
  fewParts.options.channels = static_cast<std::uint16_t>(channelBit(2) | channelBit(15));
  all.push_back(fewParts);

  Shape longer{"twenty minutes", base, {kUpper, kLower, kPedal, kPercussion}};
  longer.options.seconds = 20 * 60;
  longer.options.tempo = 138;
  longer.options.seed = 13;
  all.push_back(longer);
  return all;
}

std::vector<int> velocityOnly(const std::vector<NoteRow>& rows, bool withVelocityZero) {
  std::vector<int> notes;
  for (const NoteRow& row : rows) {
    if (row.velocity != 0) {
      notes.push_back(row.note);
    } else if (withVelocityZero) {
      notes.push_back(-1 - row.note);
    }
  }
  return notes;
}

class EndToEnd : public ::testing::TestWithParam<Shape> {};

TEST_P(EndToEnd, MidicsvReadsEveryPartWithTheNotesItsChannelPlayed) {
  const std::string midicsv = findMidicsv();
  ASSERT_FALSE(midicsv.empty())
      << "midicsv is not installed; the end-to-end tests need it (apt-get install midicsv)";
  const Shape& shape = GetParam();

  const Bytes performance = generatePerformance(shape.options);
  ConversionSettings settings;
  settings.inputPath = "generated.evt";
  settings.rhythmUnitAbsent = shape.rhythmUnitAbsent;
  SilentObserver observer;
  const ConversionResult result = convertPerformance(performance, settings, observer);

  test::TemporaryFolder folder;
  test::writeFile(folder.file("performance.mid"), result.midi);
  const ProcessResult parsed =
      run(midicsv, {folder.file("performance.mid"), folder.file("performance.csv")},
          folder.file("errors.txt"));
  ASSERT_EQ(parsed.exitStatus, 0) << parsed.errors;
  ASSERT_EQ(parsed.errors, "");
  const CsvFile csv = parseCsv(folder.file("performance.csv"));

  const int tracks = 1 + static_cast<int>(shape.parts.size());
  ASSERT_EQ(csv.tracks, tracks);
  EXPECT_EQ(result.summary.tracks, tracks);

  const Input input = readInput(performance, shape.rhythmUnitAbsent);
  EXPECT_EQ(result.summary.notesTotal, input.noteOnsEverywhere);
  // The song start moves the first alignment marker onto a bar line.
  const std::int64_t shift = kTicksPerBar - input.alignTick % kTicksPerBar;

  std::int64_t transcribed = 0;
  for (std::size_t index = 0; index < shape.parts.size(); ++index) {
    const ExpectedPart& part = shape.parts[index];
    const int trackNumber = static_cast<int>(index) + 2;
    SCOPED_TRACE(part.name + " from channel " + std::to_string(part.source) + ", track " +
                 std::to_string(trackNumber));
    const auto found = csv.track.find(trackNumber);
    ASSERT_NE(found, csv.track.end());
    const CsvTrack& track = found->second;
    EXPECT_EQ(track.title, part.name);

    std::vector<NoteRow> onDestination;
    for (const NoteRow& row : track.noteOns) {
      EXPECT_EQ(row.channel, part.destination - 1) << "note " << row.note << " at " << row.tick;
      if (row.channel == part.destination - 1) onDestination.push_back(row);
    }
    const auto source = input.channel.find(part.source);
    ASSERT_NE(source, input.channel.end());
    const SourceNotes& played = source->second;
    ASSERT_GT(played.struck.size(), 10u);
    transcribed += static_cast<std::int64_t>(played.noteOns.size());

    // Note for note: every key struck on the source channel, in the order struck.
    EXPECT_EQ(velocityOnly(onDestination, false), played.struck);
    if (!part.mono) {
      // Releases too: note-ons with velocity 0 stay where they were, note-offs stay note-offs.
      EXPECT_EQ(velocityOnly(onDestination, true), played.noteOns);
      EXPECT_EQ(static_cast<int>(track.noteOffs.size()), played.noteOffs);
    } else {
      // Each new pedal note releases the one before.
      EXPECT_GE(track.noteOffs.size() + 1, played.struck.size());
    }

    if (part.name == "Percussion") {
      // The rhythm unit strikes on the clock, so from the first clock tick on its notes land
      // exactly on the clock's ticks. (Before it, time comes from an estimated interval.)
      std::vector<std::int64_t> expected;
      std::vector<std::int64_t> actual;
      std::size_t hit = 0;
      for (const NoteRow& row : onDestination) {
        if (row.velocity == 0 || hit >= played.clockTicks.size()) continue;
        if (played.clockTicks[hit] > 0) {
          expected.push_back(played.clockTicks[hit] + shift);
          actual.push_back(row.tick);
        }
        ++hit;
      }
      EXPECT_GT(expected.size(), 20u);
      EXPECT_EQ(actual, expected);
    }
  }
  EXPECT_EQ(result.summary.notesTranscribed, transcribed);

  if (shape.options.rhythmUnit) {
    // The tempo estimated from the clock markers.
    const auto conductor = csv.track.find(1);
    ASSERT_NE(conductor, csv.track.end());
    const double expected = 60'000'000.0 / shape.options.tempo;
    EXPECT_NEAR(static_cast<double>(conductor->second.tempo), expected, 0.03 * expected);
  }
}

// The organ sends a key or a drum hit due at a clock marker's millisecond sometimes just before
// the marker. Its interpolated time then runs a tick or so past the marker's time. Five minutes of
// such a performance: the parts must stay on the clock's grid, where the old timing let every
// track drift later, the busiest (the percussion) the most.
TEST(EndToEndTiming, PartsStayOnTheClockWhenEventsArriveAheadOfIt) {
  const std::string midicsv = findMidicsv();
  ASSERT_FALSE(midicsv.empty()) << "midicsv is not installed (apt-get install midicsv)";
  GeneratorOptions options;
  options.seed = 5;
  options.seconds = 300;
  options.tempo = 120;
  options.looseTiming = true;
  const Bytes performance = generatePerformance(options);

  test::TemporaryFolder folder;
  const auto percussionTicks = [&](bool legacyTiming) {
    ConversionSettings settings;
    settings.legacyTiming = legacyTiming;
    SilentObserver observer;
    test::writeFile(folder.file("loose.mid"),
                    convertPerformance(performance, settings, observer).midi);
    const ProcessResult parsed = run(midicsv, {folder.file("loose.mid"), folder.file("loose.csv")},
                                     folder.file("errors.txt"));
    EXPECT_EQ(parsed.exitStatus, 0) << parsed.errors;
    const CsvFile csv = parseCsv(folder.file("loose.csv"));
    std::vector<std::int64_t> ticks;
    for (const NoteRow& row : csv.track.at(5).noteOns) {
      if (row.velocity > 0) ticks.push_back(row.tick);
    }
    return ticks;
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

INSTANTIATE_TEST_SUITE_P(Shapes, EndToEnd, ::testing::ValuesIn(shapes()),
                         [](const ::testing::TestParamInfo<Shape>& shapeInfo) {
                           std::string name;
                           for (const char c : shapeInfo.param.name) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

}  // namespace
}  // namespace koralux
