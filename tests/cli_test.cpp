// koralux-cli as a user runs it: what it prints and where, the settings it passes on, and every
// usage error of the program (one file, many files, --info and --dump) in one table. (Failed
// conversions are fault_test's, batches cli_batch_test's.)

#include <gtest/gtest.h>

#include <sstream>

#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::contains;
using Arguments = std::vector<std::string>;

TEST(Cli, SaysWhatItWroteAndWhere) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  const test::ProcessResult run = test::cli({"song.evt"}, folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Wrote 2 tracks (1 of 1 notes) to song.mid\n");
  EXPECT_TRUE(contains(run.err, "Status: Transcribing Lower Upper Notes\n")) << run.err;
  EXPECT_TRUE(contains(run.err, "Status: Finished\n")) << run.err;
  const test::Bytes song = test::readFile(folder.file("song.mid"));
  const auto quiet = test::cli({"-q", "song.evt", "-o", "/dev/stdout"}, folder.path());
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out + quiet.err, std::string(song.begin(), song.end()));
  // Written through standard output, the line goes to standard error.
  const auto out = test::cli({"song.evt", "-o", "/dev/stdout"}, folder.path());
  EXPECT_TRUE(contains(out.err, "Wrote 2 tracks (1 of 1 notes) to /dev/stdout\n")) << out.err;
}

TEST(Cli, SettingsReachTheFile) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  // The clock settles at 21 ms per marker; then 200 ms pass before a note, and the interpolated
  // time runs far past the next two markers, which only the old timing lets move the track.
  test::writeFile(folder.file("late.evt"),
                  test::performance(test::repeat("F3 15 FE 78", 200) +
                                    "F3 C8 90 3C 64 FE 78 FE 78 80 3C 40 FE 78"));
  const std::pair<Arguments, const char*> cases[] = {
      {{"song.evt", "--key", "g sharp MINOR", "--time", "6/8"},
       "FF 58 04 06 03 0C 08 00 FF 59 02 05 01"},
      {{"song.evt", "--time", "255/128"}, "FF 58 04 FF 07"},
      {{"song.evt", "--rhythm-unit-absent"}, "8F 14 80 3C 54"},
      {{"late.evt"}, "00 80 3C 54 00 FF 2F 00"},
      {{"late.evt", "--legacy-timing"}, "14 80 3C 54 14 FF 2F 00"},
  };
  for (auto [arguments, expected] : cases) {
    arguments.insert(arguments.end(), {"-q", "-o", "out.mid"});
    ASSERT_EQ(test::cli(arguments, folder.path()).status, 0) << expected;
    EXPECT_TRUE(contains(test::toHex(test::readFile(folder.file("out.mid"))), expected))
        << expected;
  }
}

TEST(Cli, UsageErrorsSayWhatIsAcceptedAndConvertNothing) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance(test::kOneNote));
  test::writeFile(folder.file("other.evt"), test::performance(test::kOneNote));
  std::filesystem::create_directory(folder.path() / "archive");
  std::vector<std::pair<Arguments, std::string>> refused = {
      {{}, "INPUT is required"},
      {{"song.evt", "--frobnicate"}, "--frobnicate"},
      {{"song.evt", "--key", "H Major"}, "--key: unknown key \"H Major\"; accepted (any case): "},
      {{"-r", "archive", "--key", "H Major"}, "--key: unknown key"},
      {{"song.evt", "other.evt", "-o", "x.mid"}, "-o names one output file"},
      {{"-r", "archive", "-o", "x.mid"}, "or use --output-dir DIR"},
      {{"song.evt", "-o", "x.mid", "--output-dir", "out"}, "cannot be used together"},
      {{"-r", "archive", "-j", "0"}, "--jobs"},
      {{"--json", "song.evt"}, "--json requires --info"},
      {{"--info", "--dump", "song.evt"}, "--info excludes --dump"},
      {{"--info", "song.evt", "-o", "x.mid"}, "--output excludes --info"},
      {{"--dump", "song.evt", "other.evt"}, "--dump lists one file; 2 were given"},
  };
  for (const char* time : {"4", "4-4", "0/4", "4/0", "4/129", "256/4", "x/4", "3/"}) {
    refused.push_back({{"song.evt", "--time", time},
                       "--time: \"" + std::string(time) + "\" is not a time signature; write N/D"});
  }
  for (const auto& [arguments, message] : refused) {
    const test::ProcessResult run = test::cli(arguments, folder.path());
    EXPECT_EQ(run.status, 2) << message;
    EXPECT_EQ(run.out, "") << message;
    EXPECT_TRUE(run.err.starts_with("koralux-cli: ") && contains(run.err, message)) << run.err;
  }
  EXPECT_EQ(folder.entries(), (Arguments{"archive", "other.evt", "song.evt"}));
}

TEST(Cli, HelpFitsOneScreenAndVersion) {
  const test::ProcessResult help = test::cli({"--help"});
  EXPECT_EQ(help.status, 0);
  std::istringstream text(help.out);
  int lines = 0;
  for (std::string line; std::getline(text, line); ++lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_LE(lines, 24) << help.out;
  for (const char* part : {"--rhythm-unit-absent", "Examples:\n  koralux-cli ", "Exit status: 0"}) {
    EXPECT_TRUE(contains(help.out, part)) << help.out;
  }
  EXPECT_TRUE(test::cli({"--version"}).out.starts_with("koralux-cli "));
}

}  // namespace
}  // namespace koralux
