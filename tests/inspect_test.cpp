// koralux-cli --info, --json and --dump: what they say about performances whose contents are
// known, that they agree with what a conversion then does, and how they fail.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/event_dump.hpp"
#include "cli/performance_info.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using Json = nlohmann::json;
using test::Bytes;
using test::contains;
using test::performance;
using test::repeat;
using test::TemporaryFolder;

// Channel 1 balanced, the pedal (3) with note-ons only, channel 4 with note-ons only (so not
// transcribed), percussion (15) balanced, one note on channel 16, clock markers 21 ms apart and
// an alignment marker after the third of them.
const Bytes kKnown = performance(
    "FE 7A " + repeat("F3 15 FE 78", 3) + "FE 7A  90 3C 64  90 3C 00 " + repeat("92 24 64", 30) +
    repeat("93 40 64", 20) + "9E 24 64  8E 24 40  9F 3C 64" + "  F0 01 02 F7  F4 10 02");

using Outcome = test::ProcessResult;

Outcome info(const std::vector<std::string>& paths, bool json, bool quiet = false) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runInfoCommand(paths, json, quiet, out, err);
  return {status, 0, out.str(), err.str()};
}

TEST(Info, DescribesAKnownPerformance) {
  TemporaryFolder folder;
  test::writeFile(folder.file("known.evt"), kKnown);
  const Outcome text = info({folder.file("known.evt")}, false);
  ASSERT_EQ(text.status, 0) << text.err;
  for (const std::string& expected : {
           "Size:            " + std::to_string(kKnown.size()) + " bytes\n",
           std::string("Duration:        0.335 seconds\n"),
           std::string("Tempo:           119 beats per minute\n"),
           std::string("Alignment point: tick 60 (after 3 clock markers)\n"),
           std::string("Song start:      -1860 ticks (the alignment point lands at tick 1920)\n"),
           std::string("Events:          65\n"),
           std::string("  NoteOn                  54\n"),
           std::string("  SystemExclusive          1\n"),
           std::string("  3                    30         0  OnHeavy\n"),
           std::string("  4                    20         0  OnHeavy\n"),
           std::string("Tracks:          4 (conductor and 3 parts), 33 of 54 notes\n"),
           std::string("  Pedal       from channel 3, mono              30 notes\n"),
           std::string("  Percussion  from channel 15 onto 10            1 note\n"),
       }) {
    EXPECT_TRUE(contains(text.out, expected)) << expected << "\nin\n" << text.out;
  }
  EXPECT_FALSE(contains(text.out, "  16 ")) << "channel 16 is never counted";

  const Outcome json = info({folder.file("known.evt")}, true);
  ASSERT_EQ(json.status, 0) << json.err;
  const Json all = Json::parse(json.out);
  ASSERT_EQ(all.size(), 1u);
  const Json& file = all[0];
  EXPECT_EQ(file["file"], folder.file("known.evt"));
  EXPECT_EQ(file["sizeBytes"], kKnown.size());
  EXPECT_DOUBLE_EQ(file["durationSeconds"].get<double>(), 0.335);
  const Json expected = Json::parse(R"({"milliseconds":335, "tempo":119, "alignTick":60,
      "songStartOffset":-1860, "eventCount":65, "notesTotal":54, "tracks":4,
      "notesTranscribed":33})");
  for (const auto& [key, value] : expected.items()) EXPECT_EQ(file[key], value) << key;
  EXPECT_EQ(file["events"].size(), 20u);  // every kind, present or not
  EXPECT_EQ(file["events"]["Timing"], 4);
  EXPECT_EQ(file["events"]["AlignMarker"], 2);
  EXPECT_EQ(file["events"]["PitchBend"], 0);
  ASSERT_EQ(file["channels"].size(), 15u);
  EXPECT_EQ(file["channels"][0],
            Json::parse(R"({"channel":1,"noteOns":1,"releases":1,"verdict":"Balanced"})"));
  EXPECT_EQ(file["channels"][1]["verdict"], "Absent");
  EXPECT_EQ(file["channels"][3]["verdict"], "OnHeavy");
  EXPECT_EQ(file["parts"], Json::parse(R"([
      {"name":"Upper","sourceChannel":1,"destinationChannel":1,"mono":false,"notes":2},
      {"name":"Pedal","sourceChannel":3,"destinationChannel":3,"mono":true,"notes":30},
      {"name":"Percussion","sourceChannel":15,"destinationChannel":10,"mono":false,"notes":1}])"));
}

TEST(Info, AlignmentAbsentOrTooEarly) {
  TemporaryFolder folder;
  test::writeFile(folder.file("none.evt"), performance("F3 15 FE 78"));
  test::writeFile(folder.file("early.evt"), performance("FE 7A F3 15 FE 78"));
  const Outcome text = info({folder.file("none.evt"), folder.file("early.evt")}, false);
  EXPECT_TRUE(contains(text.out, "Alignment point: none: the file has no alignment marker\n"));
  EXPECT_TRUE(contains(text.out, "none: no alignment marker follows a clock marker\n"));
  EXPECT_TRUE(contains(text.out,
                       "Song start:      -1920 ticks (the performance starts at tick"
                       " 1920)\n"));
  EXPECT_TRUE(contains(text.out, "Channels:        no notes\n"));
  EXPECT_TRUE(contains(text.out, "Tracks:          1 (conductor only), 0 of 0 notes\n"));
  EXPECT_TRUE(contains(text.out, "early.evt\nSize:")) << "files are described in turn";
  EXPECT_TRUE(Json::parse(info({folder.file("none.evt")}, true).out)[0]["alignTick"].is_null());
}

TEST(Info, GoesOnPastFilesItCannotRead) {
  TemporaryFolder folder;
  test::writeFile(folder.file("good.evt"), kKnown);
  test::writeFile(folder.file("cut.evt"), performance("90 3C 64 F0 01"));
  const std::vector<std::string> paths = {folder.file("gone.evt"), folder.file("cut.evt"),
                                          folder.file("good.evt")};
  const Outcome text = info(paths, false);
  EXPECT_EQ(text.status, 1);
  EXPECT_TRUE(contains(text.err, "gone.evt: " + test::noSuchFile() + "\n")) << text.err;
  EXPECT_TRUE(contains(text.err, "cut.evt: the file ends inside a system-exclusive")) << text.err;
  EXPECT_TRUE(contains(text.out, "good.evt\n")) << text.out;
  EXPECT_FALSE(contains(text.out, "cut.evt")) << text.out;

  const Outcome json = info(paths, true);
  EXPECT_EQ(json.status, 1);
  const Json all = Json::parse(json.out);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]["file"], folder.file("good.evt"));

  const Outcome quiet = info(paths, false, true);
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, text.err);
}

// Windows names are UTF-16 and always valid; the test's name holds '"', which Windows refuses.
#if !defined(_WIN32)
TEST(Info, FileNamesThatAreNotUtf8StayValidJson) {
  TemporaryFolder folder;
  const std::string odd = folder.file("caf\xE9\".evt");
  test::writeFile(odd, kKnown);
  const Outcome json = info({odd}, true);
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(Json::parse(json.out)[0]["file"], folder.file("caf\xEF\xBF\xBD\".evt"));
}
#endif

// Splits a listing into lines of whitespace-separated fields.
std::vector<std::vector<std::string>> fields(const std::string& listing) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream text(listing);
  for (std::string line; std::getline(text, line);) {
    std::istringstream words(line);
    lines.emplace_back();
    for (std::string word; words >> word;) lines.back().push_back(word);
  }
  return lines;
}

using Lines = std::vector<std::vector<std::string>>;

TEST(Dump, ListsEveryEventWithRunningTime) {
  // Tempo 58, so the clock's interval starts at 1034 ms: 10 ms is not yet a tick.
  const Bytes song = performance(
      "90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  C1 30  F4 10 02  FE 78  F0 01 02 F7  FE 41  A1");
  std::ostringstream out;
  writeEventDump(out, song, "song.evt", false);
  EXPECT_EQ(fields(out.str()), (Lines{
                                   {"#offset", "kind", "channel", "data1", "data2", "ms", "ticks"},
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
                                   {"281", "Stray", "2", "-", "-", "-", "-"},
                               }));

  // Without the rhythm unit every timing event is a clock marker as well.
  std::ostringstream absent;
  writeEventDump(absent, song, "song.evt", true);
  const Lines lines = fields(absent.str());
  EXPECT_EQ(lines[2].back(), "20");
  EXPECT_EQ(lines[3].back(), "40");
  EXPECT_EQ(lines[7].back(), "60");
}

TEST(Dump, ListsADamagedFileUpToTheDamage) {
  TemporaryFolder folder;
  test::writeFile(folder.file("cut.evt"), performance("90 3C 64 F3 0A F0 01"));
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(runDumpCommand({folder.file("cut.evt")}, false, false, out, err), 1);
  EXPECT_EQ(fields(out.str()), (Lines{
                                   {"#offset", "kind", "channel", "data1", "data2", "ms", "ticks"},
                                   {"256", "NoteOn", "1", "60", "100", "-", "-"},
                                   {"259", "Timing", "10", "-", "-", "10", "-"},
                               }));
  EXPECT_TRUE(contains(err.str(), "cut.evt: the file ends inside a system-exclusive")) << err.str();
}

// The options as a user gives them, through the program itself.
TEST(InspectCli, OptionsResultsAndStatuses) {
  TemporaryFolder folder;
  test::writeFile(folder.file("a.evt"), kKnown);
  test::writeFile(folder.file("b.evt"), performance("90 3C 64 80 3C 40"));
  const auto cli = [&](std::vector<std::string> arguments, std::string output = {}) {
    arguments.insert(arguments.begin(), KORALUX_CLI);
    return test::runProcess(arguments, folder.path(), output);
  };

  const test::ProcessResult json = cli({"--info", "--json", "a.evt", "b.evt"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.err, "");
  EXPECT_EQ(Json::parse(json.out).size(), 2u);

  const test::ProcessResult quiet = cli({"-q", "--dump", "a.evt"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out + quiet.err, "");

  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--json", "a.evt"},
                                                {"--info", "--dump", "a.evt"},
                                                {"--info", "a.evt", "-o", "x.mid"},
                                                {"--dump", "a.evt", "b.evt"}}) {
    const test::ProcessResult run = cli(wrong);
    EXPECT_EQ(run.status, 2) << wrong[0];
    EXPECT_EQ(run.out, "") << wrong[0];
    EXPECT_NE(run.err, "") << wrong[0];
  }
  // Nothing was converted along the way.
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.evt", "b.evt"}));

  // A listing that cannot be written is a failure, not a success.
  const test::ProcessResult full = cli({"--dump", "a.evt"}, "/dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(contains(full.err, "No space left on device")) << full.err;
}

}  // namespace
}  // namespace koralux
