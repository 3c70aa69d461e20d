// koralux-cli --info, --json and --dump, called in process: what they say about performances
// whose contents are known, and that they go on past files they cannot read. (Their usage errors
// are in cli_test's table, the reader's messages in its own tests and fault_test.)

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

// --info on `paths`: the exit status, standard output and standard error.
std::tuple<int, std::string, std::string> info(const std::vector<std::string>& paths, bool json) {
  std::ostringstream out, err;
  const int status = runInfoCommand(paths, {}, json, false, out, err);
  return {status, out.str(), err.str()};
}

TEST(Info, DescribesAKnownPerformanceAsTextAndJson) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("known.evt"), kKnown);
  const auto [status, text, err] = info({folder.file("known.evt")}, false);
  EXPECT_EQ(status, 0) << err;
  for (const char* line :
       {"Size:            444 bytes\nDuration:        0.335 seconds\n",
        "Tempo:           119 beats per minute\nAlignment point: tick 60 (after 3 clock markers)\n"
        "Song start:      -1860 ticks (the alignment point lands at tick 1920)\nEvents:          "
        "65\n",
        "  NoteOn                  54\n", "  4                    20         0  OnHeavy\n",
        "Tracks:          4 (conductor and 3 parts), 33 of 54 notes\n",
        "  Pedal       from channel 3, mono              30 notes\n",
        "  Percussion  from channel 15 onto 10            1 note\n"}) {
    EXPECT_TRUE(contains(text, line)) << line << "\nin\n" << text;
  }
  EXPECT_FALSE(contains(text, "  16 ")) << "channel 16 is never counted";
  const Json file = Json::parse(std::get<1>(info({folder.file("known.evt")}, true))).at(0);
  const Json expected = Json::parse(R"({"sizeBytes":444, "durationSeconds":0.335, "tempo":119,
      "alignTick":60, "songStartOffset":-1860, "eventCount":65, "notesTotal":54, "tracks":4,
      "notesTranscribed":33})");
  for (const auto& [key, value] : expected.items()) {
    EXPECT_EQ(file[key], value) << key;
  }
  EXPECT_EQ(file["events"].size(), 20u);  // every kind, present or not
  EXPECT_EQ(file["channels"][0], Json::parse(R"({"channel":1, "noteOns":1, "releases":1,
      "verdict":"Balanced"})"));
  EXPECT_EQ(file["parts"][1], Json::parse(R"({"name":"Pedal", "role":"organ", "sourceChannel":3,
      "destinationChannel":3, "mono":true, "notes":30})"));
}

// What --xg-parts would add, and what is left out without it.
TEST(Info, ListsTheBackingAndTheRegistrations) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("xg.evt"), performance(test::kSmallXgPerformance));
  test::writeFile(folder.file("organ.evt"), performance(test::kOneNote));
  const auto [status, text, err] = info({folder.file("xg.evt"), folder.file("organ.evt")}, false);
  EXPECT_EQ(status, 0) << err;
  EXPECT_TRUE(contains(text,
                       "XG channels:     5\n"
                       "Registrations:   2 changes\n"
                       "  0.000 s        Registration 3\n"
                       "  0.010 s        Registration 16\n"
                       "With --xg-parts: 4 tracks, 2 of 2 notes\n"
                       "  XG Setup    2 set-up messages\n"
                       "  XG Part 5   from channel 5                     1 note\n"
                       "  2 markers in the conductor track\n"
                       "1 note on channels 5–14 is left out; add --xg-parts to keep it\n"))
      << text;
  EXPECT_FALSE(contains(text.substr(text.find("File:", 1)), "XG")) << "organ.evt has none";
  const Json file = Json::parse(std::get<1>(info({folder.file("xg.evt")}, true))).at(0);
  const Json expected = Json::parse(R"({
      "xgChannels": [{"channel": 5, "noteOns": 1, "programChanges": 1}], "setupMessages": 2,
      "registrationChanges": [{"milliseconds": 0, "registration": 3},
                              {"milliseconds": 10, "registration": 16}],
      "xgTracks": [{"name": "XG Setup", "channel": null, "notes": 0},
                   {"name": "XG Part 5", "channel": 5, "notes": 1}], "xgNotes": 1})");
  for (const auto& [key, value] : expected.items()) EXPECT_EQ(file[key], value) << key;
}

TEST(Info, GoesOnPastFilesItCannotReadAndKeepsJsonValid) {
  test::TemporaryFolder folder;
#if defined(_WIN32)
  // Windows names are UTF-16, always valid, and hold no '"': an ordinary name there.
  const std::string odd = folder.file("odd.evt");
  const std::string oddInJson = odd;
#else
  const std::string odd = folder.file("caf\xE9\".evt");  // a name that is not UTF-8
  const std::string oddInJson = folder.file("caf\xEF\xBF\xBD\".evt");
#endif
  test::writeFile(odd, performance("F3 15 FE 78"));
  test::writeFile(folder.file("cut.evt"), performance(test::kEndsInSystemExclusive));
  const std::vector<std::string> paths = {folder.file("gone.evt"), folder.file("cut.evt"), odd};
  const auto [status, text, err] = info(paths, false);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(contains(text, odd + "\nSize:")) << text;
  EXPECT_TRUE(contains(text, "Alignment point: none: the file has no alignment marker\n"));
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  const auto [jsonStatus, json, jsonErr] = info(paths, true);
  EXPECT_EQ(jsonStatus, 1);
  EXPECT_EQ(jsonErr, err);
  EXPECT_EQ(Json::parse(json).size(), 1u);
  EXPECT_EQ(Json::parse(json)[0]["file"], oddInJson);
  EXPECT_TRUE(Json::parse(json)[0]["alignTick"].is_null());
}

// A listing with each run of spaces made one.
std::string squeezed(std::string text) {
  const auto spaces = [](char a, char b) { return a == ' ' && b == ' '; };
  text.erase(std::unique(text.begin(), text.end(), spaces), text.end());
  return text;
}

TEST(Dump, ListsEveryEventWithRunningTime) {
  // Tempo 58, so the clock's interval starts at 1034 ms: 10 ms is not yet a tick.
  std::ostringstream out;
  writeEventDump(out,
                 performance("90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  C1 30  F4 10 02  FE 78"
                             "  F0 01 02 F7  FE 41  A1"),
                 "song.evt", false);
  EXPECT_EQ(squeezed(out.str()),
            "#offset kind channel data1 data2 ms ticks\n"
            "256 NoteOn 1 60 100 - -\n"
            "259 Timing 10 - - 10 0\n"
            "261 ClockMarker 0 - - 10 20\n"
            "263 NoteOff 1 60 64 - -\n"
            "266 AlignMarker 0 - - - -\n"
            "268 ProgramChange 2 48 - - -\n"
            "270 Timing 272 - - 282 30\n"
            "273 ClockMarker 0 - - 282 40\n"
            "275 SystemExclusive 3 - - - -\n"
            "279 OtherMarker 65 - - - -\n"
            "281 Stray 2 - - - -\n");
}

TEST(Dump, FailsOnADamagedFileAfterListingUpToItAndOnAListingItCannotWrite) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("cut.evt"), performance(test::kEndsInSystemExclusive));
  test::writeFile(folder.file("song.evt"), kKnown);
  std::ostringstream listing, err;
  EXPECT_EQ(runDumpCommand({folder.file("cut.evt")}, false, false, listing, err), 1);
  EXPECT_TRUE(contains(squeezed(listing.str()), "\n256 NoteOn 1 60 100 - -\n"));
#if !defined(_WIN32)  // Windows has no device that is always full
  std::ofstream full("/dev/full");
  EXPECT_EQ(runDumpCommand({folder.file("song.evt")}, false, false, full, err), 1);
  EXPECT_TRUE(contains(err.str(), "koralux-cli: standard output: No space left on device\n"));
#endif
}

}  // namespace
}  // namespace koralux::cli
