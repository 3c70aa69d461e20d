// koralux-cli as a user runs it: arguments, exit statuses, what it prints, what it leaves behind.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/test_support.hpp"

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::performance;
using test::TemporaryFolder;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& argument) {
  std::string text = "'";
  for (char c : argument) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

// Runs koralux-cli with `arguments` in `folder`, capturing its output streams.
CliRun cli(const TemporaryFolder& folder, const std::vector<std::string>& arguments) {
  std::string command = "cd " + quoted(folder.path().string()) + " && " + quoted(KORALUX_CLI);
  for (const auto& argument : arguments) command += " " + quoted(argument);
  const fs::path capture =
      fs::temp_directory_path() / ("koralux-cli-" + std::to_string(::getpid()));
  fs::create_directories(capture);
  command += " >" + quoted((capture / "out").string()) + " 2>" +
             quoted((capture / "err").string()) + " </dev/null";
  const int raw = std::system(command.c_str());
  CliRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const Bytes out = test::readFile((capture / "out").string());
  const Bytes err = test::readFile((capture / "err").string());
  run.out.assign(out.begin(), out.end());
  run.err.assign(err.begin(), err.end());
  fs::remove_all(capture);
  return run;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const Bytes kSong = performance("90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  FE 78");

TEST(Cli, ConvertsToTheDerivedNameAndSaysWhatItWrote) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), kSong);
  test::writeFile(folder.file("MDR_00.EVT"), kSong);
  const CliRun run = cli(folder, {"song.evt"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Wrote 2 tracks (1 of 1 notes) to song.mid\n");
  EXPECT_TRUE(contains(run.err, "Status: Transcribing Lower Upper Notes\n")) << run.err;
  EXPECT_TRUE(contains(run.err, "Status: Finished\n")) << run.err;
  EXPECT_TRUE(fs::exists(folder.file("song.mid")));
  // Only a lower-case ".evt" is replaced.
  EXPECT_EQ(cli(folder, {"MDR_00.EVT", "-q"}).status, 0);
  EXPECT_TRUE(fs::exists(folder.file("MDR_00.EVT.mid")));
}

TEST(Cli, QuietPrintsNothing) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), kSong);
  const CliRun run = cli(folder, {"-q", "song.evt", "-o", "out.mid"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(cli(folder, {"song.evt"}).status, 0);
  EXPECT_EQ(test::readFile(folder.file("out.mid")), test::readFile(folder.file("song.mid")));
}

TEST(Cli, SettingsReachTheFile) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), kSong);
  ASSERT_EQ(cli(folder, {"song.evt", "--key", "g sharp MINOR", "--time", "6/8", "-q"}).status, 0);
  const std::string file = test::toHex(test::readFile(folder.file("song.mid")));
  EXPECT_TRUE(contains(file, "FF 58 04 06 03 0C 08")) << file;
  EXPECT_TRUE(contains(file, "FF 59 02 05 01")) << file;

  ASSERT_EQ(cli(folder, {"song.evt", "--rhythm-unit-absent", "-q"}).status, 0);
  EXPECT_TRUE(contains(test::toHex(test::readFile(folder.file("song.mid"))), "8F 14 80 3C 54"));
}

TEST(Cli, LegacyTimingKeepsTheOldDisplacement) {
  TemporaryFolder folder;
  // The clock settles at 21 ms per marker; then 200 ms pass before a note, ten markers' worth,
  // and the interpolated time runs far past the next two markers.
  std::string events;
  for (int i = 0; i < 200; ++i) events += "F3 15 FE 78 ";
  events += "F3 C8 90 3C 64 FE 78 FE 78 80 3C 40 FE 78";
  test::writeFile(folder.file("song.evt"), performance(events));
  ASSERT_EQ(cli(folder, {"song.evt", "-q", "-o", "new.mid"}).status, 0);
  ASSERT_EQ(cli(folder, {"song.evt", "-q", "-o", "old.mid", "--legacy-timing"}).status, 0);
  EXPECT_TRUE(
      contains(test::toHex(test::readFile(folder.file("new.mid"))), "00 80 3C 54 00 FF 2F 00"));
  EXPECT_TRUE(
      contains(test::toHex(test::readFile(folder.file("old.mid"))), "14 80 3C 54 14 FF 2F 00"));
}

TEST(Cli, UsageErrorsSayWhatIsAccepted) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), kSong);
  const CliRun none = cli(folder, {});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(contains(none.err, "INPUT")) << none.err;

  const CliRun key = cli(folder, {"song.evt", "--key", "H Major"});
  EXPECT_EQ(key.status, 2);
  EXPECT_TRUE(contains(key.err, "--key: unknown key \"H Major\"")) << key.err;
  EXPECT_TRUE(contains(key.err, "G Sharp Minor")) << key.err;

  for (const char* time : {"4", "4-4", "0/4", "4/0", "4/129", "256/4", "x/4", "3/"}) {
    const CliRun run = cli(folder, {"song.evt", "--time", time});
    EXPECT_EQ(run.status, 2) << time;
    EXPECT_TRUE(contains(run.err, "--time")) << run.err;
  }
  EXPECT_EQ(cli(folder, {"song.evt", "--frobnicate"}).status, 2);
  EXPECT_EQ(cli(folder, {"song.evt", "--time", "255/128", "-q"}).status, 0);
  // Nothing was converted by the refused calls.
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"song.evt", "song.mid"}));
}

TEST(Cli, HelpAndVersion) {
  TemporaryFolder folder;
  const CliRun help = cli(folder, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(contains(help.out, "--rhythm-unit-absent")) << help.out;
  const CliRun version = cli(folder, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(contains(version.out, "koralux-cli ")) << version.out;
}

TEST(Cli, FailuresExitOneAndLeaveNothing) {
  TemporaryFolder folder;
  const CliRun missing = cli(folder, {"gone.evt"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "koralux-cli: gone.evt: No such file or directory\n");
  EXPECT_EQ(missing.out, "");

  test::writeFile(folder.file("cut.evt"), performance("90 3C 64 F0 01"));
  test::writeFile(folder.file("cut.mid"), test::hex("'keep me'"));
  const CliRun cut = cli(folder, {"cut.evt"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_TRUE(contains(cut.err, "koralux-cli: cut.evt: the file ends inside a system-exclusive"))
      << cut.err;
  EXPECT_EQ(test::readFile(folder.file("cut.mid")), test::hex("'keep me'"));

  const CliRun same = cli(folder, {"cut.evt", "-o", "./cut.evt"});
  EXPECT_EQ(same.status, 1);
  EXPECT_TRUE(contains(same.err, "the output file is the input file")) << same.err;
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"cut.evt", "cut.mid"}));
}

TEST(Cli, DevicesAsOutput) {
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), kSong);
  const CliRun full = cli(folder, {"song.evt", "-o", "/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err.substr(full.err.rfind("koralux-cli")),
            "koralux-cli: /dev/full: No space left on device\n");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));

  const CliRun out = cli(folder, {"song.evt", "-o", "/dev/stdout"});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(out.out.substr(0, 4), "MThd");
  EXPECT_TRUE(contains(out.err, "Wrote 2 tracks")) << out.err;
  EXPECT_TRUE(fs::is_character_file("/dev/stdout") || fs::is_symlink("/dev/stdout"));
}

}  // namespace
}  // namespace koralux
