// Whole conversions: the worked example byte for byte, the part schedule, the observer, the file
// written in place, and inputs at the edges of what the converter meets, each converting to a
// file the strict checker accepts. (What a failing conversion leaves behind is fault_test's.)

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <tuple>

#include "engine/conversion_run.hpp"
#include "engine/output_name.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::hex;
using test::performance;
using test::RecordingObserver;
using test::repeat;

SilentObserver quiet;

// test::kOneNote converted, its note-off `noteOffDelta` after the note-on.
Bytes expectedExample(const char* noteOffDelta) {
  const auto textSize = static_cast<std::uint8_t>(kGeneratorText.size());
  Bytes file = hex("'MThd' 00 00 00 06 00 01 00 02 01 E0 'MTrk' 00 00 00");
  file.insert(file.end(), {static_cast<std::uint8_t>(textSize + 29), 0x00, 0xFF, 0x01, textSize});
  file.insert(file.end(), kGeneratorText.begin(), kGeneratorText.end());
  const Bytes rest = hex(
      std::string("00 FF 51 03 06 A2 5E  00 FF 58 04 04 02 18 08  00 FF 59 02 00 00  00 FF 2F 00"
                  "'MTrk' 00 00 00 2E  00 FF 03 05 'Upper'  00 FF 21 01 00  00 FF 20 01 00"
                  "  00 B0 07 64  00 B0 0A 68  00 C0 30  00 D0 00  00 90 3C 2A ") +
      noteOffDelta + " 80 3C 54  14 FF 2F 00");
  file.insert(file.end(), rest.begin(), rest.end());
  return file;
}

// The worked example, written at a path far longer than old limits allowed, over an existing
// output whose permissions the new file keeps, and nothing else left in the folder.
TEST(ConversionRun, WorkedExampleByteForByte) {
  test::TemporaryFolder folder;
  fs::path deep = folder.path();
#if defined(_WIN32)
  // The test's own file calls need the long-path prefix that the file layer adds by itself.
  deep = fs::path(L"\\\\?\\" + deep.wstring());
#endif
  for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
  fs::create_directories(deep);
  ConversionSettings settings;
  settings.inputPath = (deep / (std::string(120, 'x') + ".evt")).string();
  settings.outputPath = (deep / (std::string(120, 'y') + ".mid")).string();
  test::writeFile(settings.inputPath, performance(test::kOneNote));
  test::writeFile(settings.outputPath, Bytes(100000, 0xAA));
#if !defined(_WIN32)  // Windows files have no such permissions
  ::chmod(settings.outputPath.c_str(), 0640);
#endif

  RecordingObserver observer;
  const ConversionSummary summary = ConversionRun(settings, observer);
  EXPECT_EQ(std::tuple(summary.tracks, summary.notesTotal, summary.notesTranscribed),
            std::tuple(2, 1, 1));
  EXPECT_EQ(observer.calls, (std::vector<std::string>{
                                "progressBegin 1", "status Status: Transcribing Lower Upper Notes",
                                "partDone 1", "status Status: Finished"}));
  // The note-off at clock tick 20 lands at 1920.
  EXPECT_TRUE(test::sameBytes(expectedExample("8F 00"), test::readFile(settings.outputPath)));
#if !defined(_WIN32)  // (Windows: permissions are not kept there; fault_test's long paths)
  EXPECT_EQ(fs::status(settings.outputPath).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(deep), fs::directory_iterator()), 2);
#endif
  // Without the rhythm unit the timing event counts as a clock marker too: it lands at 1940.
  settings.rhythmUnitAbsent = true;
  EXPECT_TRUE(
      test::sameBytes(expectedExample("8F 14"),
                      convertPerformance(performance(test::kOneNote), settings, quiet).midi));
}

TEST(Conversion, PartScheduleFollowsChannelVerdicts) {
  const std::pair<std::string, std::string> cases[] = {
      // Each part's track name and note count after its status, "Status: " left out.
      {repeat("90 3C 64 80 3C 40", 5) + repeat("91 3C 64 81 3C 40", 4) +
           repeat("92 3C 64 82 3C 40", 3) + repeat("9E 3C 64 8E 3C 40", 2),
       "14|Transcribing Lower Upper Notes Upper 5|Transcribing Lower Manual Notes Lower 4|"
       "Transcibing Pedal Notes Pedal 3|Transcribing Percussion Percussion 2"},
      // Channel 4 playing as well: a second "Upper" track, first of the parts. The pedal with
      // note-ons only is transcribed in mono.
      {repeat("93 3C 64 83 3C 40", 3) + repeat("90 3C 64 80 3C 40", 2) + repeat("92 3C 64", 30),
       "35|Transcribing Upper Manual Notes Upper 3|Transcribing Lower Upper Notes Upper 2|"
       "Transcribing Pedal Notes Pedal 30"},
      // Channel 4 with note-ons only is not transcribed at all; notes on channels without a part
      // count in the total only.
      {repeat("93 3C 64", 30) + repeat("9F 3C 64 8F 3C 40", 7), "37"},
  };
  for (const auto& [events, expected] : cases) {
    RecordingObserver observer;
    const auto tracks =
        test::trackBodies(convertPerformance(performance(events), {}, observer).midi);
    std::string seen = observer.calls.at(0).substr(14);  // "progressBegin "
    for (std::size_t i = 1; i < tracks.size(); ++i) {
      // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on one long sum.
      seen += '|';
      seen += observer.calls.at(2 * i - 1).substr(15);
      seen += ' ';
      seen.append(tracks[i].begin() + 4, tracks[i].begin() + 4 + tracks[i][3]);
      seen += ' ';
      seen += observer.calls.at(2 * i).substr(9);
    }
    EXPECT_EQ(seen, expected);
  }
}

// Converts under the three ways a track can be timed; expects a sound file each time and returns
// the track counts.
std::vector<int> tracksOfSoundConversions(const Bytes& input) {
  std::vector<int> tracks;
  for (const auto& [rhythmUnitAbsent, legacy] :
       {std::pair{false, false}, {true, false}, {false, true}}) {
    ConversionSettings settings;
    settings.rhythmUnitAbsent = rhythmUnitAbsent;
    settings.legacyTiming = legacy;
    const ConversionResult result = convertPerformance(input, settings, quiet);
    EXPECT_TRUE(test::isStrictMidiFile(result.midi));
    tracks.push_back(result.summary.tracks);
  }
  return tracks;
}

TEST(Boundaries, FilesTooShortForAnEventAndEveryByteAsTheLast) {
  EXPECT_EQ(tracksOfSoundConversions(Bytes(256, 0x90)), std::vector<int>(3, 1));
  const Bytes song = generatePerformance({.seconds = 4, .everyKind = true});
  for (int last = 0; last < 256; ++last) {
    if (last == 0xF0) continue;  // the file ends inside a system-exclusive message
    // A lone note byte reads as a release (velocity 0) on its channel, and so a part that
    // played: channels 1 to 4 and 15 are the organ's parts.
    const int channel = (last & 0x0F) + 1;
    const bool part = (last >> 4 == 0x8 || last >> 4 == 0x9) && (channel <= 4 || channel == 15);
    Bytes alone(256, 0);
    alone.push_back(static_cast<std::uint8_t>(last));
    EXPECT_EQ(tracksOfSoundConversions(alone), std::vector<int>(3, part ? 2 : 1)) << last;
    Bytes ending = song;
    ending.push_back(static_cast<std::uint8_t>(last));
    tracksOfSoundConversions(ending);
  }
}

TEST(Boundaries, TensOfMegabytes) {
  const ConversionResult result = convertPerformance(
      generatePerformance({.targetBytes = 24u << 20, .channels = 0x400F, .everyKind = true}), {},
      quiet);
  EXPECT_TRUE(test::isStrictMidiFile(result.midi));
  EXPECT_EQ(result.summary.tracks, 6);
  EXPECT_EQ(result.summary.notesTranscribed, result.summary.notesTotal);
}

// Which names a batch walk or a drop takes, and the output name offered for each: the extension is
// recognised in any case, but only the organ's lower-case ".evt" is replaced.
TEST(OutputName, PerformanceFileNamesAndTheNameOfferedForTheirOutput) {
  const struct {
    const char* input;
    bool performance;
    const char* output;
  } cases[] = {
      {"song.evt", true, "song.mid"},
      {"MDR_00.EVT", true, "MDR_00.EVT.mid"},
      {"take.Evt", true, "take.Evt.mid"},
      {"dir.evt/song", false, "dir.evt/song.mid"},
      {"song.evt.evt", true, "song.evt.mid"},
      {".evt", true, ".mid"},
      {"evt", false, "evt.mid"},
      {"", false, ".mid"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isPerformanceFileName(c.input), c.performance) << c.input;
    EXPECT_EQ(derivedOutputName(c.input), c.output) << c.input;
  }
}

}  // namespace
}  // namespace koralux
