// What the dialog does, whichever toolkit draws it: the settings of the lists' positions, the
// refusals, the bar's steps and a failed run, as a recording view sees them.

#include "ui/convert_command.hpp"

#include <gtest/gtest.h>

#include "tests/test_support.hpp"

namespace koralux {
namespace {

// Every call as one line, busy ones left out unless asked for.
class RecordingView final : public DialogView {
 public:
  void showStatus(std::string_view text) override { log("status " + std::string(text)); }
  void showProgressRange(int maximum) override { log("range " + std::to_string(maximum)); }
  void showProgress(int position) override { log(std::to_string(position)); }
  void refuse(std::string_view message) override { log("refuse " + std::string(message)); }
  void reportFailure(std::string_view message) override { log("failure " + std::string(message)); }
  void warn(std::string_view message) override { log("warn " + std::string(message)); }
  void inform(std::string_view message) override { log("inform " + std::string(message)); }
  void showBusy(bool busy) override { log(busy ? "busy" : "idle"); }
  void log(const std::string& line) { shown += (shown.empty() ? "" : ", ") + line; }
  std::string shown;
};

TEST(ConvertCommandTest, SettingsFromTheListPositions) {
  DialogChoices sharpMinor{.keyRow = 23, .numeratorRow = 4, .denominatorRow = 6};  // G#m 6/8
  sharpMinor.rhythmUnitAbsent = sharpMinor.xgParts = true;
  // Settings as "sharps/flats minor numerator/denominator rhythm XG".
  for (const auto& [choices, expected] : {
           std::pair{sharpMinor, "5 1 6/8 1 1"},
           std::pair{DialogChoices{.keyRow = 1, .numeratorRow = 0, .denominatorRow = 0},
                     "-5 0 2/2 0 0"},
           std::pair{DialogChoices{.keyRow = 12}, "0 1 4/4 0 0"},  // A minor, the lists' defaults
       }) {
    const ConversionSettings s = settingsFrom(choices);
    EXPECT_EQ(std::to_string(s.keySharpsFlats) + " " + std::to_string(s.keyMinor) + " " +
                  std::to_string(s.timeNumerator) + "/" + std::to_string(s.timeDenominator) + " " +
                  std::to_string(s.rhythmUnitAbsent) + " " + std::to_string(s.xgParts),
              expected);
  }
}

// An empty field is refused before anything else happens; spaces are text.
TEST(ConvertCommandTest, EmptyPathFieldsAreRefused) {
  for (const auto& [in, out, shown] :
       {std::tuple{"", "", "refuse Please supply Input File!"},
        std::tuple{"", "out.mid", "refuse Please supply Input File!"},
        std::tuple{"  ", "", "refuse Please supply Output File!"}}) {
    RecordingView view;
    ConvertCommand command(view);
    EXPECT_FALSE(command.run({.inputPath = in, .outputPath = out}));
    EXPECT_EQ(view.shown, shown);
  }
}

// The bar's range and positions for a note count and the notes of each part.
TEST(ConvertCommandTest, ProgressRangeIsTheWholeNoteCount) {
  const std::tuple<std::int64_t, std::vector<std::int64_t>, std::string> runs[] = {
      {70000, {30000, 40000, 5}, "range 70000, 0, 30000, 70000, 70000"},  // full stays full
      {10, {0, -3}, "range 10, 0, 1, 2"},  // a part without notes moves it too
      {0, {}, "range 1, 0"},               // no notes: an empty bar, not a busy indicator
  };
  for (const auto& [total, parts, shown] : runs) {
    RecordingView view;
    ConvertCommand command(view);
    command.progressBegin(total);
    for (const std::int64_t part : parts) command.partDone(part);
    EXPECT_EQ(view.shown, shown);
  }
}

// A run that fails says why, after the wait cursor has gone, and leaves no file behind.
TEST(ConvertCommandTest, FailedRunSaysWhy) {
  test::TemporaryFolder folder;
  RecordingView view;
  ConvertCommand command(view);
  const std::string missing = folder.file("missing.evt");
  EXPECT_FALSE(command.run({.inputPath = missing, .outputPath = folder.file("out.mid")}));
  EXPECT_TRUE(view.shown.starts_with("busy, idle, status Status: Conversion failed, failure "));
  EXPECT_TRUE(test::contains(view.shown, missing)) << view.shown;
  EXPECT_EQ(folder.entries(), std::vector<std::string>{});
}

// A file converted with findings is written, and one box lists them after the busy cursor.
TEST(ConvertCommandTest, FindingsAfterARunInOneWarning) {
  test::TemporaryFolder folder;
  const std::string input = folder.file("cut.evt");
  test::writeFile(input, test::performance("90 3C 64  80 3C"));
  RecordingView view;
  ConvertCommand command(view);
  EXPECT_TRUE(command.run({.inputPath = input, .outputPath = folder.file("cut.mid")}));
  EXPECT_TRUE(view.shown.ends_with(
      "idle, warn " + input +
      " was converted, but:\n\nthe file has no clock markers and no timing events, so the MIDI "
      "file has no real timing: every note lands at its start\n\nthe file ends inside the event "
      "that starts at byte 259: the recording is probably cut short"))
      << view.shown;
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"cut.evt", "cut.mid"}));
}

}  // namespace
}  // namespace koralux
