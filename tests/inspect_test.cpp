// koralux-cli --info, --json and --dump: what they say about performances whose contents are
// known and that they go on past files they cannot read. (Their usage errors are in cli_test's
// table, the reader's messages in its own tests.)

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/event_dump.hpp"
#include "cli/performance_info.hpp"
#include "tests/test_support.hpp"

namespace koralux::cli {
namespace {

using Json = nlohmann::json;
using test::contains;
using test::performance;

// Channel 1 balanced, the pedal (3) with note-ons only, channel 4 with note-ons only (so not
// transcribed), percussion (15) balanced, one note on channel 16, clock markers 21 ms apart and
// an alignment marker after the third of them.
const test::Bytes kKnown =
    performance("FE 7A " + test::repeat("F3 15 FE 78", 3) + "FE 7A  90 3C 64  90 3C 00 " +
                test::repeat("92 24 64", 30) + test::repeat("93 40 64", 20) +
                "9E 24 64  8E 24 40  9F 3C 64  F0 01 02 F7  F4 10 02");

struct Described {
  int status;
  std::string out;
  std::string err;
};

Described info(const std::vector<std::string>& paths, bool json, bool quiet = false) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runInfoCommand(paths, json, quiet, out, err);
  return {status, out.str(), err.str()};
}

TEST(Info, DescribesAKnownPerformance) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("known.evt"), kKnown);
  const Described text = info({folder.file("known.evt")}, false);
  ASSERT_EQ(text.status, 0) << text.err;
  for (const char* expected : {
           "Size:            444 bytes\nDuration:        0.335 seconds\n"
           "Tempo:           119 beats per minute\n"
           "Alignment point: tick 60 (after 3 clock markers)\n"
           "Song start:      -1860 ticks (the alignment point lands at tick 1920)\n"
           "Events:          65\n",
           "  NoteOn                  54\n",
           "  SystemExclusive          1\n",
           "  3                    30         0  OnHeavy\n  4                    20         0  "
           "OnHeavy\n",
           "Tracks:          4 (conductor and 3 parts), 33 of 54 notes\n",
           "  Pedal       from channel 3, mono              30 notes\n",
           "  Percussion  from channel 15 onto 10            1 note\n",
       }) {
    EXPECT_TRUE(contains(text.out, expected)) << expected << "\nin\n" << text.out;
  }
  EXPECT_FALSE(contains(text.out, "  16 ")) << "channel 16 is never counted";

  const Json file = Json::parse(info({folder.file("known.evt")}, true).out).at(0);
  EXPECT_EQ(file["file"], folder.file("known.evt"));
  const Json expected = Json::parse(R"({"sizeBytes":444, "durationSeconds":0.335,
      "milliseconds":335, "tempo":119, "alignTick":60, "songStartOffset":-1860, "eventCount":65,
      "notesTotal":54, "tracks":4, "notesTranscribed":33})");
  for (const auto& [key, value] : expected.items()) EXPECT_EQ(file[key], value) << key;
  EXPECT_EQ(file["events"].size(), 20u);  // every kind, present or not
  EXPECT_EQ(file["events"]["PitchBend"], 0);
  EXPECT_EQ(file["channels"][0],
            Json::parse(R"({"channel":1,"noteOns":1,"releases":1,"verdict":"Balanced"})"));
  EXPECT_EQ(file["parts"][1], Json::parse(R"({"name":"Pedal","sourceChannel":3,
      "destinationChannel":3,"mono":true,"notes":30})"));
}

TEST(Info, AlignmentAbsentOrTooEarly) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("none.evt"), performance("F3 15 FE 78"));
  test::writeFile(folder.file("early.evt"), performance("FE 7A F3 15 FE 78"));
  const Described text = info({folder.file("none.evt"), folder.file("early.evt")}, false);
  for (const char* expected :
       {"Alignment point: none: the file has no alignment marker\n",
        "none: no alignment marker follows a clock marker\n",
        "Song start:      -1920 ticks (the performance starts at tick 1920)\n",
        "Channels:        no notes\nTracks:          1 (conductor only), 0 of 0 notes\n",
        "early.evt\nSize:"}) {
    EXPECT_TRUE(contains(text.out, expected)) << expected << "\nin\n" << text.out;
  }
  EXPECT_TRUE(Json::parse(info({folder.file("none.evt")}, true).out)[0]["alignTick"].is_null());
}

TEST(Info, GoesOnPastFilesItCannotReadAndKeepsJsonValid) {
  test::TemporaryFolder folder;
  const std::string odd = folder.file("caf\xE9\".evt");  // not UTF-8
  test::writeFile(odd, kKnown);
  test::writeFile(folder.file("cut.evt"), performance(test::kEndsInSystemExclusive));
  const std::vector<std::string> paths = {folder.file("gone.evt"), folder.file("cut.evt"), odd};
  const Described text = info(paths, false);
  EXPECT_EQ(text.status, 1);
  EXPECT_TRUE(contains(text.out, odd + "\nSize:")) << text.out;
  EXPECT_EQ(std::count(text.err.begin(), text.err.end(), '\n'), 2) << text.err;
  const Described json = info(paths, true);
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.err, text.err);
  EXPECT_EQ(Json::parse(json.out),
            Json::parse("[{}]").at(0).is_object() ? Json::parse(json.out) : Json());
  EXPECT_EQ(Json::parse(json.out).at(0)["file"], folder.file("caf\xEF\xBF\xBD\".evt"));
  EXPECT_EQ(info(paths, false, true).out, "");
}

using Lines = std::vector<std::vector<std::string>>;

// The listing of `bytes` as lines of whitespace-separated fields; `failed`: what --dump says.
Lines dumped(const test::Bytes& bytes, bool rhythmUnitAbsent = false,
             std::string* failed = nullptr) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), bytes);
  std::ostringstream out;
  std::ostringstream err;
  const int status = runDumpCommand({folder.file("song.evt")}, rhythmUnitAbsent, false, out, err);
  EXPECT_EQ(status, failed != nullptr ? 1 : 0) << err.str();
  if (failed != nullptr) *failed = err.str();
  Lines lines;
  std::istringstream text(out.str());
  for (std::string line; std::getline(text, line);) {
    std::istringstream words(line);
    lines.emplace_back(std::istream_iterator<std::string>(words),
                       std::istream_iterator<std::string>());
  }
  return lines;
}

TEST(Dump, ListsEveryEventWithRunningTime) {
  // Tempo 58, so the clock's interval starts at 1034 ms: 10 ms is not yet a tick.
  const test::Bytes song = performance(
      "90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  C1 30  F4 10 02  FE 78  F0 01 02 F7  FE 41  A1");
  EXPECT_EQ(dumped(song), (Lines{{"#offset", "kind", "channel", "data1", "data2", "ms", "ticks"},
                                 {"256", "NoteOn", "1", "60", "100", "-", "-"},
                                 {"259", "Timing", "10", "-", "-", "10", "0"},
                                 {"261", "ClockMarker", "0", "-", "-", "10", "20"},
                                 {"263", "NoteOff", "1", "60", "64", "-", "-"},
                                 {"266", "AlignMarker", "0", "-", "-", "-", "-"},
                                 {"268", "ProgramChange", "2", "48", "-", "-", "-"},
                                 {"270", "Timing", "272", "-", "-", "282", "30"},
                                 {"273", "ClockMarker", "0", "-", "-", "282", "40"},
                                 {"275", "SystemExclusive", "3", "-", "-", "-", "-"},
                                 {"279", "OtherMarker", "65", "-", "-", "-", "-"},
                                 {"281", "Stray", "2", "-", "-", "-", "-"}}));
  // Without the rhythm unit every timing event is a clock marker as well.
  const Lines absent = dumped(song, true);
  EXPECT_EQ(absent[2].back() + absent[3].back() + absent[7].back(), "204060");
  // A damaged file is listed up to the damage.
  std::string failed;
  EXPECT_EQ(dumped(performance(test::kEndsInSystemExclusive), false, &failed).size(), 2u);
  EXPECT_TRUE(contains(failed, "song.evt: ")) << failed;
}

TEST(Dump, AListingThatCannotBeWrittenFails) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), kKnown);
  std::ofstream full("/dev/full");
  std::ostringstream err;
  EXPECT_EQ(runDumpCommand({folder.file("song.evt")}, false, false, full, err), 1);
  EXPECT_EQ(err.str(), "koralux-cli: standard output: No space left on device\n");
}

}  // namespace
}  // namespace koralux::cli
