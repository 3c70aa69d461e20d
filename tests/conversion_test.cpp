// Whole conversions: the worked example byte for byte, the part schedule, the observer, and what
// a conversion does with files when something goes wrong.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/fatal_stop.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_run.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::hex;
using test::performance;
using test::RecordingObserver;
using test::sameBytes;
using test::TemporaryFolder;

// One note on channel 1 between two clock markers, an alignment marker after the first.
constexpr const char* kExample = "90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  FE 78";

Bytes expectedExample(const char* noteOffDelta) {
  Bytes conductorText = hex("00 FF 01");
  conductorText.push_back(static_cast<std::uint8_t>(kGeneratorText.size()));
  conductorText.insert(conductorText.end(), kGeneratorText.begin(), kGeneratorText.end());
  const Bytes conductorRest =
      hex("00 FF 51 03 06 A2 5E  00 FF 58 04 04 02 18 08  00 FF 59 02 00 00  00 FF 2F 00");
  const std::size_t conductorLength = conductorText.size() + conductorRest.size();

  Bytes file = hex("'MThd' 00 00 00 06 00 01 00 02 01 E0 'MTrk' 00 00 00");
  file.push_back(static_cast<std::uint8_t>(conductorLength));
  file.insert(file.end(), conductorText.begin(), conductorText.end());
  file.insert(file.end(), conductorRest.begin(), conductorRest.end());
  const Bytes part = hex(std::string("'MTrk' 00 00 00 2E"
                                     "  00 FF 03 05 'Upper'  00 FF 21 01 00  00 FF 20 01 00"
                                     "  00 B0 07 64  00 B0 0A 68  00 C0 30  00 D0 00"
                                     "  00 90 3C 2A ") +
                         noteOffDelta + " 80 3C 54  14 FF 2F 00");
  file.insert(file.end(), part.begin(), part.end());
  return file;
}

const std::vector<std::string> kExampleCalls = {"progressBegin 1",
                                                "status Status: Transcribing Lower Upper Notes",
                                                "partDone 1", "status Status: Finished"};

TEST(Conversion, WorkedExampleByteForByte) {
  for (bool legacy : {false, true}) {
    ConversionSettings settings;
    settings.legacyTiming = legacy;
    RecordingObserver observer;
    const ConversionResult result = convertPerformance(performance(kExample), settings, observer);
    // The note-on lands at tick 0; the note-off, at clock tick 20, lands at 1920.
    EXPECT_TRUE(sameBytes(expectedExample("8F 00"), result.midi)) << "legacy " << legacy;
    EXPECT_EQ(observer.calls, kExampleCalls);
    EXPECT_EQ(result.summary.tracks, 2);
    EXPECT_EQ(result.summary.notesTotal, 1);
    EXPECT_EQ(result.summary.notesTranscribed, 1);
  }
}

TEST(Conversion, WorkedExampleWithoutTheRhythmUnit) {
  for (bool legacy : {false, true}) {
    ConversionSettings settings;
    settings.rhythmUnitAbsent = true;
    settings.legacyTiming = legacy;
    RecordingObserver observer;
    // The timing event counts as a clock marker too: the note-off is written at 1940.
    EXPECT_TRUE(sameBytes(expectedExample("8F 14"),
                          convertPerformance(performance(kExample), settings, observer).midi));
    EXPECT_EQ(observer.calls, kExampleCalls);
  }
}

// Names of the tracks of a converted file, and the observer's calls.
struct Schedule {
  std::vector<std::string> trackNames;
  std::vector<std::string> calls;
};

Schedule schedule(const std::string& events) {
  RecordingObserver observer;
  const auto tracks = test::trackBodies(convertPerformance(performance(events), {}, observer).midi);
  Schedule out;
  for (std::size_t i = 1; i < tracks.size(); ++i) {
    const Bytes& t = tracks[i];
    out.trackNames.emplace_back(t.begin() + 4, t.begin() + 4 + t[3]);
  }
  out.calls = observer.calls;
  return out;
}

std::string notes(int channel, int count, bool released) {
  std::string events;
  char note[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(note, sizeof note, "%X 3C 64 ", 0x90 + channel - 1);
    events += note;
    if (released) {
      std::snprintf(note, sizeof note, "%X 3C 40 ", 0x80 + channel - 1);
      events += note;
    }
  }
  return events;
}

TEST(Conversion, PartScheduleFollowsChannelVerdicts) {
  const Schedule organ =
      schedule(notes(1, 5, true) + notes(2, 5, true) + notes(3, 5, true) + notes(15, 5, true));
  EXPECT_EQ(organ.trackNames, (std::vector<std::string>{"Upper", "Lower", "Pedal", "Percussion"}));
  EXPECT_EQ(organ.calls, (std::vector<std::string>{
                             "progressBegin 20", "status Status: Transcribing Lower Upper Notes",
                             "partDone 5", "status Status: Transcribing Lower Manual Notes",
                             "partDone 5", "status Status: Transcibing Pedal Notes", "partDone 5",
                             "status Status: Transcribing Percussion", "partDone 5",
                             "status Status: Finished"}));

  // Channel 4 playing as well: a second "Upper" track, first of the parts.
  const Schedule both = schedule(notes(4, 3, true) + notes(1, 2, true));
  EXPECT_EQ(both.trackNames, (std::vector<std::string>{"Upper", "Upper"}));
  EXPECT_EQ(both.calls[1], "status Status: Transcribing Upper Manual Notes");
  EXPECT_EQ(both.calls[2], "partDone 3");

  // Channel 4 with note-ons only is not transcribed at all.
  EXPECT_TRUE(schedule(notes(4, 30, false)).trackNames.empty());
}

TEST(Conversion, PedalFormsExcludeEachOther) {
  const Schedule mono = schedule(notes(3, 30, false));
  EXPECT_EQ(mono.trackNames, std::vector<std::string>{"Pedal"});
  EXPECT_EQ(mono.calls[1], "status Status: Transcribing Pedal Notes");
  const Schedule few = schedule(notes(3, 2, false));
  EXPECT_EQ(few.trackNames, std::vector<std::string>{"Pedal"});
  EXPECT_EQ(few.calls[1], "status Status: Transcibing Pedal Notes");
}

TEST(Conversion, NotesOnUntranscribedChannelsCountInTheTotalOnly) {
  const Schedule sixteen = schedule(notes(16, 7, true));
  EXPECT_TRUE(sixteen.trackNames.empty());
  EXPECT_EQ(sixteen.calls,
            (std::vector<std::string>{"progressBegin 7", "status Status: Finished"}));
  const Schedule mixed = schedule(notes(1, 2, true) + notes(9, 4, true));
  EXPECT_EQ(mixed.calls[0], "progressBegin 6");
  EXPECT_EQ(mixed.calls[2], "partDone 2");
}

TEST(Conversion, SettingsOutOfRangeAreRefused) {
  SilentObserver observer;
  ConversionSettings zeroDenominator;
  zeroDenominator.timeDenominator = 0;
  EXPECT_THROW(convertPerformance(performance(""), zeroDenominator, observer), FatalStop);
  ConversionSettings eightSharps;
  eightSharps.keySharpsFlats = 8;
  EXPECT_THROW(convertPerformance(performance(""), eightSharps, observer), FatalStop);
}

TEST(Conversion, PauseTooLongForAMidiFileIsAnError) {
  // Markers without timing halve the interval to 0 (counted as 1); each 16383 ms then add
  // 327660 ticks, and about 820 of them pass the largest delta a MIDI file can hold.
  std::string events;
  for (int i = 0; i < 12; ++i) events += "FE 78 ";
  for (int i = 0; i < 830; ++i) events += "F4 7F 7F ";
  events += "90 3C 64 80 3C 40";
  ConversionSettings settings;
  settings.inputPath = "pause.evt";
  SilentObserver observer;
  try {
    convertPerformance(performance(events), settings, observer);
    FAIL() << "no error";
  } catch (const FatalStop& e) {
    EXPECT_EQ(e.label(), "pause.evt");
    EXPECT_NE(e.description().find("longer than a MIDI file can hold"), std::string::npos);
  }
}

TEST(Conversion, HourOfTimingWithoutClockMarkers) {
  // 82 minutes of timing and no clock marker, at the starting estimate of 504 ms per quarter note.
  std::string events;
  for (int i = 0; i < 300; ++i) events += "F4 7F 7F ";
  events += "90 3C 64";
  SilentObserver observer;
  const auto tracks = test::trackBodies(convertPerformance(performance(events), {}, observer).midi);
  const std::int64_t ticks = std::int64_t{300} * 16383 * 480 / (504 * 24);
  const Bytes& upper = tracks.at(1);
  // The note-on's delta follows the 7-event prologue and counts from the song start.
  std::uint32_t delta = 0;
  std::size_t at = 33;
  while (upper[at] & 0x80) delta = (delta << 7) | (upper[at++] & 0x7F);
  delta = (delta << 7) | upper[at];
  EXPECT_EQ(delta, ticks + 1920);
}

// ---- files ----------------------------------------------------------------------------------

ConversionSettings files(const std::string& input, const std::string& output) {
  ConversionSettings settings;
  settings.inputPath = input;
  settings.outputPath = output;
  return settings;
}

std::string errorOf(const ConversionSettings& settings) {
  SilentObserver observer;
  try {
    ConversionRun(settings, observer);
  } catch (const FatalStop& e) {
    return e.what();
  }
  return "no error";
}

TEST(ConversionRun, WritesTheSameBytesAsInMemory) {
  TemporaryFolder folder;
  const Bytes input = performance(kExample);
  test::writeFile(folder.file("song.evt"), input);
  RecordingObserver observer;
  const ConversionSummary summary =
      ConversionRun(files(folder.file("song.evt"), folder.file("song.mid")), observer);
  EXPECT_EQ(summary.tracks, 2);
  EXPECT_EQ(observer.calls, kExampleCalls);
  EXPECT_TRUE(sameBytes(expectedExample("8F 00"), test::readFile(folder.file("song.mid"))));
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"song.evt", "song.mid"}));
}

TEST(ConversionRun, FailureLeavesTheOutputAsItWas) {
  TemporaryFolder folder;
  test::writeFile(folder.file("broken.evt"), performance("90 3C 64 F0 01 02"));
  const Bytes old = hex("'an older file'");
  test::writeFile(folder.file("broken.mid"), old);
  EXPECT_EQ(errorOf(files(folder.file("broken.evt"), folder.file("broken.mid"))),
            folder.file("broken.evt") +
                ": the file ends inside a system-exclusive message (it starts at byte 259 and has "
                "no end byte F7)");
  EXPECT_EQ(test::readFile(folder.file("broken.mid")), old);
  EXPECT_NE(errorOf(files(folder.file("broken.evt"), folder.file("new.mid"))), "no error");
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"broken.evt", "broken.mid"}));
}

TEST(ConversionRun, ReplacesAnExistingOutputWhole) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), performance(kExample));
  test::writeFile(folder.file("song.mid"), Bytes(100000, 0xAA));
  ::chmod(folder.file("song.mid").c_str(), 0640);
  SilentObserver observer;
  ConversionRun(files(folder.file("song.evt"), folder.file("song.mid")), observer);
  EXPECT_TRUE(sameBytes(expectedExample("8F 00"), test::readFile(folder.file("song.mid"))));
  EXPECT_EQ(fs::status(folder.file("song.mid")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(ConversionRun, InputAndOutputProblemsNameTheFile) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), performance(kExample));
  EXPECT_EQ(errorOf(files(folder.file("missing.evt"), folder.file("x.mid"))),
            folder.file("missing.evt") + ": No such file or directory");
  EXPECT_EQ(errorOf(files(folder.path().string(), folder.file("x.mid"))),
            folder.path().string() + ": Is a directory");
  EXPECT_EQ(errorOf(files(folder.file("song.evt"), folder.file("no/such/folder/x.mid"))),
            folder.file("no/such/folder/x.mid") + ": No such file or directory");
  EXPECT_EQ(errorOf(files(folder.file("song.evt"), folder.path().string())),
            folder.path().string() + ": Is a directory");
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"song.evt"});
}

TEST(ConversionRun, DevicesAreWrittenToAndNeverReplaced) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), performance(kExample));
  EXPECT_EQ(errorOf(files(folder.file("song.evt"), "/dev/full")),
            "/dev/full: No space left on device");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_EQ(errorOf(files(folder.file("song.evt"), "/dev/null")), "no error");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(ConversionRun, OutputThatNamesTheInputIsRefused) {
  TemporaryFolder folder;
  const Bytes input = performance(kExample);
  const std::string in = folder.file("song.evt");
  test::writeFile(in, input);
  fs::create_directory(folder.path() / "sub");
  fs::create_symlink(in, folder.file("link.mid"));
  fs::create_hard_link(in, folder.file("hard.mid"));
  const std::string spellings[] = {in, (folder.path() / "." / "song.evt").string(),
                                   (folder.path() / "sub" / ".." / "song.evt").string(),
                                   folder.file("link.mid"), folder.file("hard.mid")};
  for (const std::string& output : spellings) {
    EXPECT_EQ(errorOf(files(in, output)),
              output + ": the output file is the input file; choose another name for the output");
    EXPECT_EQ(test::readFile(in), input);
  }
  fs::current_path(folder.path());
  EXPECT_EQ(errorOf(files("song.evt", "./song.evt")),
            "./song.evt: the output file is the input file; choose another name for the output");
  fs::current_path(fs::temp_directory_path());
  EXPECT_EQ(test::readFile(in), input);
}

TEST(ConversionRun, PathsOfAnyLength) {
  TemporaryFolder folder;
  fs::path deep = folder.path();
  for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
  fs::create_directories(deep);
  const std::string in = (deep / (std::string(120, 'x') + ".evt")).string();
  const std::string out = (deep / (std::string(120, 'y') + ".mid")).string();
  ASSERT_GT(in.size(), 500u);
  test::writeFile(in, performance(kExample));
  SilentObserver observer;
  ConversionRun(files(in, out), observer);
  EXPECT_TRUE(sameBytes(expectedExample("8F 00"), test::readFile(out)));
}

}  // namespace
}  // namespace koralux
