// koralux-cli as a user runs it: arguments, exit statuses, what it prints and where. (Failed
// conversions, their messages and what they leave behind are fault_test's.)

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::ProcessResult;
using test::TemporaryFolder;

ProcessResult cli(const TemporaryFolder& folder, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), KORALUX_CLI);
  return test::runProcess(arguments, folder.path());
}

std::string midiAsHex(const TemporaryFolder& folder, const std::string& name) {
  return test::toHex(test::readFile(folder.file(name)));
}

TEST(Cli, ConvertsToTheDerivedNameAndSaysWhatItWrote) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  test::writeFile(folder.file("MDR_00.EVT"), test::performance(test::kOneNote));
  const ProcessResult run = cli(folder, {"song.evt"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Wrote 2 tracks (1 of 1 notes) to song.mid\n");
  EXPECT_TRUE(contains(run.err, "Status: Transcribing Lower Upper Notes\n")) << run.err;
  EXPECT_TRUE(contains(run.err, "Status: Finished\n")) << run.err;
  // Only a lower-case ".evt" is replaced.
  EXPECT_EQ(cli(folder, {"MDR_00.EVT", "-q"}).status, 0);
  EXPECT_EQ(folder.entries(),
            (std::vector<std::string>{"MDR_00.EVT", "MDR_00.EVT.mid", "song.evt", "song.mid"}));

  const ProcessResult quiet = cli(folder, {"-q", "song.evt", "-o", "quiet.mid"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out + quiet.err, "");
  EXPECT_EQ(test::readFile(folder.file("quiet.mid")), test::readFile(folder.file("song.mid")));
}

TEST(Cli, SettingsReachTheFile) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  ASSERT_EQ(cli(folder, {"song.evt", "--key", "g sharp MINOR", "--time", "6/8", "-q"}).status, 0);
  EXPECT_TRUE(contains(midiAsHex(folder, "song.mid"), "FF 58 04 06 03 0C 08 00 FF 59 02 05 01"));
  ASSERT_EQ(cli(folder, {"song.evt", "--rhythm-unit-absent", "-q"}).status, 0);
  EXPECT_TRUE(contains(midiAsHex(folder, "song.mid"), "8F 14 80 3C 54"));

  // The clock settles at 21 ms per marker; then 200 ms pass before a note, ten markers' worth,
  // and the interpolated time runs far past the next two markers.
  test::writeFile(folder.file("late.evt"),
                  test::performance(test::repeat("F3 15 FE 78", 200) +
                                    "F3 C8 90 3C 64 FE 78 FE 78 80 3C 40 FE 78"));
  ASSERT_EQ(cli(folder, {"late.evt", "-q", "-o", "new.mid"}).status, 0);
  ASSERT_EQ(cli(folder, {"late.evt", "-q", "-o", "old.mid", "--legacy-timing"}).status, 0);
  EXPECT_TRUE(contains(midiAsHex(folder, "new.mid"), "00 80 3C 54 00 FF 2F 00"));
  EXPECT_TRUE(contains(midiAsHex(folder, "old.mid"), "14 80 3C 54 14 FF 2F 00"));
}

TEST(Cli, UsageErrorsSayWhatIsAccepted) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  const ProcessResult none = cli(folder, {});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(contains(none.err, "INPUT")) << none.err;

  const ProcessResult key = cli(folder, {"song.evt", "--key", "H Major"});
  EXPECT_EQ(key.status, 2);
  EXPECT_TRUE(contains(key.err, "--key: unknown key \"H Major\"")) << key.err;
  EXPECT_TRUE(contains(key.err, "G Sharp Minor")) << key.err;

  for (const char* time : {"4", "4-4", "0/4", "4/0", "4/129", "256/4", "x/4", "3/"}) {
    const ProcessResult run = cli(folder, {"song.evt", "--time", time});
    EXPECT_EQ(run.status, 2) << time;
    EXPECT_TRUE(contains(run.err, "--time")) << run.err;
  }
  EXPECT_EQ(cli(folder, {"song.evt", "--frobnicate"}).status, 2);
  EXPECT_EQ(cli(folder, {"song.evt", "--time", "255/128", "-q"}).status, 0);
  // Nothing was converted by the refused calls.
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"song.evt", "song.mid"}));
}

TEST(Cli, HelpFitsOneScreenAndVersion) {
  TemporaryFolder folder;
  const ProcessResult help = cli(folder, {"--help"});
  EXPECT_EQ(help.status, 0);
  std::istringstream text(help.out);
  int lines = 0;
  for (std::string line; std::getline(text, line); ++lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_LE(lines, 24) << help.out;
  EXPECT_TRUE(contains(help.out, "--rhythm-unit-absent")) << help.out;
  EXPECT_TRUE(contains(help.out, "Examples:\n  koralux-cli ")) << help.out;
  EXPECT_TRUE(contains(help.out, "Exit status: 0")) << help.out;
  const ProcessResult version = cli(folder, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(contains(version.out, "koralux-cli ")) << version.out;
}

// "-o -" on every system, unchanged (no line feed made into CR LF on Windows); /dev/stdout
// too on Linux.
TEST(Cli, WritesThroughStandardOutput) {
  TemporaryFolder folder;
  GeneratorOptions options;
  options.seconds = 20;
  test::writeFile(folder.file("song.evt"), generatePerformance(options));
  ASSERT_EQ(cli(folder, {"song.evt", "-q"}).status, 0);
  const test::Bytes file = test::readFile(folder.file("song.mid"));
  ASSERT_NE(std::find(file.begin(), file.end(), 0x0A), file.end());
  std::vector<std::string> names = {"-"};
#if !defined(_WIN32)
  names.push_back("/dev/stdout");
  EXPECT_TRUE(fs::is_character_file("/dev/stdout") || fs::is_symlink("/dev/stdout"));
#endif
  for (const std::string& name : names) {
    const ProcessResult out = cli(folder, {"song.evt", "-o", name});
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_TRUE(test::sameBytes(file, test::Bytes(out.out.begin(), out.out.end()))) << name;
    EXPECT_TRUE(contains(out.err, "Wrote ")) << out.err;
  }
#if !defined(_WIN32)
  // A standard output that cannot take the file is a failure, not a success.
  const ProcessResult full =
      test::runProcess({KORALUX_CLI, "song.evt", "-o", "-", "-q"}, folder.path(), "/dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "koralux-cli: standard output: No space left on device\n");
#endif
}

}  // namespace
}  // namespace koralux
